// kvmflash-demo as a separate process: a signal ends it like a normal close,
// and its temporary folder with the sample firmware goes with it.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "WaitFor.h"

namespace kvm::test {
namespace {

TEST(DemoSignals, EndTheDemoAndRemoveItsSampleFolder) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    QTemporaryDir scratch, runtime;
    ASSERT_TRUE(scratch.isValid() && runtime.isValid());
    ASSERT_TRUE(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", scratch.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    QProcess demo;
    demo.setProcessEnvironment(environment);
    demo.start(QStringLiteral(KVMFLASH_DEMO), {});
    ASSERT_TRUE(demo.waitForStarted(5000));
    const QDir folder(scratch.path());
    // The samples are written before the window starts its event loop.
    const auto samplesWritten = [&] {
      for (const QString& sub : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QDir(folder.filePath(sub)).entryList(QDir::Files).size() == 2) return true;
      return false;
    };
    ASSERT_TRUE(WaitFor(samplesWritten, 10000)) << "signal " << signal;
    ::kill(static_cast<pid_t>(demo.processId()), signal);
    ASSERT_TRUE(WaitFor([&] { return demo.state() == QProcess::NotRunning; }, 10000)) << "signal " << signal;
    EXPECT_EQ(demo.exitStatus(), QProcess::NormalExit) << "signal " << signal;
    EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList())
        << "signal " << signal;
  }
}

}  // namespace
}  // namespace kvm::test
