// kvmflash-screenshot OUT.png [SCENARIO]: renders the window offscreen into
// a PNG, to check the layout without a display.
#include <QApplication>
#include <QDir>
#include <QImageWriter>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/DevReader.h"
#include "app/Screenshots.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: %s OUT.png [%s]\n", argv[0], kvm::app::ScreenshotScenarioNames().c_str());
    return 2;
  }
  const std::string scenario = argc == 3 ? argv[2] : "startup";
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  kvm::app::TMainForm form;
  if (!kvm::app::ApplyScreenshotScenario(form, scenario)) {
    std::fprintf(stderr, "%s: unknown scenario '%s' (known: %s)\n", argv[0], scenario.c_str(),
                 kvm::app::ScreenshotScenarioNames().c_str());
    return 2;
  }
  form.show();
  QApplication::processEvents();

  const QString out = QString::fromLocal8Bit(argv[1]);
  QImageWriter writer(out, "png");
  if (!writer.write(form.grab().toImage())) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], qPrintable(QDir::toNativeSeparators(out)),
                 qPrintable(writer.errorString()));
    return 1;
  }
  return 0;
}
