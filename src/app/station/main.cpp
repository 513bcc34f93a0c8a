// kvmflash-station [RECIPE]: the station window over the machine's own
// programmers. With a recipe it starts with the recipe's files, log, events
// and filters, locked.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "cli/TickPeriod.h"
#include "app/station/StationWindow.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kvmflash-station"));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Programs every KVM programmer plugged in, each as a unit, all at once, and shows a tile per unit. "
      "With RECIPE (written by the window's Save Recipe... or kvmflash-cli station --save-recipe) the files, "
      "log, events and filters are the recipe's and cannot be changed; a file whose size or SHA-256 differs "
      "from it is refused when Start is pressed."));
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("RECIPE"), QStringLiteral("The line's recipe (optional)."), QStringLiteral("[RECIPE]"));
  parser.process(application);
  const QStringList arguments = parser.positionalArguments();
  if (arguments.size() > 1) {
    std::fprintf(stderr, "kvmflash-station: one recipe at most\n");
    return 2;
  }

  kvm::stationwindow::TStationWindowOptions options;
  options.TickMs = kvm::cli::TickPeriodMs();
  kvm::stationwindow::TStationWindow window(options);
  if (!arguments.isEmpty()) {
    kvm::station::TRecipe recipe;
    std::string error;
    if (!kvm::station::ReadRecipe(arguments.front().toStdString(), recipe, error)) {
      std::fprintf(stderr, "kvmflash-station: %s\n", error.c_str());
      return 1;
    }
    window.UseRecipe(recipe);
  }
  window.show();
  return application.exec();
}
