// The manual page against the program: each command's options as --help
// lists them, and each exit status once, in order.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <set>

#include "CliProcess.h"

namespace kvm::test {
namespace {

std::string ManPage() {
  QFile file(KVM_MAN_PAGE);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << KVM_MAN_PAGE;
  return file.readAll().replace("\\-", "-").toStdString();
}

std::set<std::string> LongOptions(const QString& text) {
  std::set<std::string> options;
  static const QRegularExpression option("--[a-z][a-z-]*");
  for (auto match = option.globalMatch(text); match.hasNext();) options.insert(match.next().captured().toStdString());
  options.erase("--help");
  return options;
}

// The option lines of "kvmflash-cli COMMAND --help" (footers mention others).
std::set<std::string> HelpOptions(const QString& command) {
  QString lines;
  for (const QString& line : QString::fromStdString(RunCli({command, "--help"}).Out).split('\n'))
    if (line.startsWith("  -")) lines += line.section("  ", 1, 1) + "\n";
  return LongOptions(lines);
}

// The command's lines of the SYNOPSIS, up to the next .br.
std::set<std::string> SynopsisOptions(const std::string& page, const std::string& command) {
  const std::size_t start = page.find(".B kvmflash-cli " + command + "\n");
  EXPECT_NE(start, std::string::npos) << command;
  const std::size_t end = page.find(".br", start);
  return LongOptions(QString::fromStdString(page.substr(start, end - start)));
}

class ManPageOptions : public ::testing::TestWithParam<const char*> {};

TEST_P(ManPageOptions, SynopsisListsTheOptionsOfTheHelp) {
  const std::set<std::string> help = HelpOptions(GetParam());
  EXPECT_FALSE(help.empty());
  EXPECT_EQ(SynopsisOptions(ManPage(), GetParam()), help);
}

INSTANTIATE_TEST_SUITE_P(Commands, ManPageOptions,
                         ::testing::Values("list", "program", "station", "info", "unscramble", "scramble", "doctor"));

TEST(ManPage, ListsEachExitStatusOnceInOrder) {
  const std::string page = ManPage();
  const std::size_t start = page.find(".SH EXIT STATUS");
  ASSERT_NE(start, std::string::npos);
  const std::string section = page.substr(start, page.find(".SH ", start + 1) - start);
  std::vector<std::string> statuses;
  static const QRegularExpression status("\\n\\.TP\\n\\.B ([0-9]+)\\n");
  for (auto match = status.globalMatch(QString::fromStdString(section)); match.hasNext();)
    statuses.push_back(match.next().captured(1).toStdString());
  EXPECT_EQ(statuses, (std::vector<std::string>{"0", "1", "2", "3", "4"}));
}

}  // namespace
}  // namespace kvm::test
