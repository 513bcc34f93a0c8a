// kvmflash started where there is no display: one line, status 1, no abort.
#include <gtest/gtest.h>

#include <QProcess>

namespace kvm::test {
namespace {

TEST(WindowStart, WithoutADisplayItSaysSoInOneLineAndExitsWithOne) {
  struct TCase {
    const char* Platform;
    const char* Display;  // null: not set
  };
  for (const TCase& start : {TCase{"xcb", ":97"}, TCase{"xcb", nullptr}}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", start.Platform);
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("DISPLAY");
    if (start.Display) environment.insert("DISPLAY", start.Display);
    QProcess window;
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(KVMFLASH_WINDOW), {});
    ASSERT_TRUE(window.waitForFinished(10000));
    const QString error = QString::fromUtf8(window.readAllStandardError());
    EXPECT_EQ(window.exitStatus(), QProcess::NormalExit) << error.toStdString();
    EXPECT_EQ(window.exitCode(), 1);
    EXPECT_TRUE(error.startsWith("kvmflash: no display found")) << error.toStdString();
    EXPECT_EQ(error.count('\n'), 1) << error.toStdString();
  }
}

}  // namespace
}  // namespace kvm::test
