// A recipe: a line's station set-up in one JSON file, so that the operator's
// station starts with exactly the files the engineer chose. It names each
// target's firmware file with its size and SHA-256, the traceability log and
// the event stream, and the --port/--serial filters:
//
//   {"kvmflash_recipe": 1,
//    "files": {"usb-host": {"path": "/fw/host.usb", "size": 65536, "sha256": "..."}, "osd": {...}},
//    "log": "/line/trace.jsonl", "events": "", "filters": {"ports": [], "serials": []}}
//
// Paths are saved absolute; a relative one is taken from the recipe's folder.
#pragma once

#include <QJsonObject>
#include <cstdint>
#include <string>
#include <vector>

#include "station/FirmwareFiles.h"

namespace kvm::station {

struct TRecipeFile {
  TTarget Target = TTarget::UsbHost;
  std::string Path;
  std::int64_t Size = 0;
  QString Sha256;  // lower-case hexadecimal
};

struct TRecipe {
  std::string Path;  // where it was read from or written to
  std::vector<TRecipeFile> Files;
  std::string LogFile, EventsFile;
  std::vector<std::string> Ports, Serials;

  const TRecipeFile* FileFor(TTarget target) const;
};

inline constexpr int RecipeSchema = 1;

// The recipe of checked files and the outputs and filters given.
TRecipe MakeRecipe(const std::vector<TFirmwareFile>& files, const std::string& logFile,
                   const std::string& eventsFile, std::vector<std::string> ports, std::vector<std::string> serials);

QJsonObject RecipeJson(const TRecipe& recipe);
// False with `error` naming the recipe and what is wrong in it.
bool ReadRecipe(const std::string& path, TRecipe& recipe, std::string& error);

// Writes the recipe to `path` whole (a failed write changes nothing). An
// existing file is refused unless `replace`; a path that is one of
// `inputs` (firmware files, log, events: by any name or link) always is.
bool WriteRecipe(const std::string& path, const TRecipe& recipe, bool replace,
                 const std::vector<std::string>& inputs, std::string& error);

// Empty, or why the checked files are not the recipe's: a file whose size or
// SHA-256 differs, named with both hashes, or a target the recipe has no
// file for or the run lacks.
std::string RecipeMismatch(const TRecipe& recipe, const std::vector<TFirmwareFile>& files);

// {"path": recipe, "sha256": {"usb-host": ..., "osd": ...}}: what every
// traceability record of a run with a recipe carries.
QJsonObject RecipeRecordJson(const TRecipe& recipe);

}  // namespace kvm::station
