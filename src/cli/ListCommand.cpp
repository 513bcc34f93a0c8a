// kvmflash-cli list: the present HID interfaces, and which one the window
// would take for the programmer.
#include <CLI/CLI.hpp>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <memory>

#include "core/MessagePump.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOutput.h"
#include "cli/ProgrammerAccess.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/NativeHidPlatform.h"
#include "link/DeviceIdentity.h"

namespace kvm::cli {

namespace {

struct TListOptions {
  bool Json = false;
};

struct TDeviceEntry {
  std::string Description;
  std::string Path;
  hid::THidAttributes Attributes;
  std::string Manufacturer, Product, Serial;
  hid::THidCaps Caps;
  bool ReadWrite = false;
  bool IsProgrammer = false;
  bool Taken = false;  // the programmer `program` takes without --serial
  std::string AccessError;  // why a programmer cannot be opened for reading and writing
  std::string InUse;        // "in use by PID N (name)": another program has connected it
};

TDeviceEntry Describe(hid::THidDevice& device) {
  TDeviceEntry entry;
  entry.Description = link::DescribeDevice(device);
  entry.Path = device.PnPInfo().DevicePath;
  entry.Attributes = device.Attributes();
  entry.Manufacturer = hid::ToText(device.GetVendorName());
  entry.Product = hid::ToText(device.GetProductName());
  entry.Serial = hid::ToText(device.GetSerialNumber());
  device.GetCaps(entry.Caps);
  entry.ReadWrite = device.HasReadWriteAccess();
  // The tests of the connection, whatever their order there.
  entry.IsProgrammer = entry.Attributes.VendorID == link::ProgrammerVendorID &&
                       entry.Caps.InputReportByteLength == link::ProgrammerInputReportLength &&
                       entry.Attributes.ProductID == link::ProgrammerProductID;
  if (entry.IsProgrammer && !entry.ReadWrite) entry.InUse = device.InUseText();
  if (!entry.InUse.empty()) {
    entry.AccessError = entry.InUse;
  } else if (entry.IsProgrammer && !entry.ReadWrite) {
    entry.AccessError = NodeAccessError(entry.Path);
    if (entry.AccessError.empty()) entry.AccessError = "could not be opened for reading and writing";
  }
  return entry;
}

// `program` without --serial takes the first programmer listed, as the window does.
void MarkTaken(std::vector<TDeviceEntry>& entries) {
  for (TDeviceEntry& entry : entries)
    if (entry.IsProgrammer) {
      entry.Taken = true;
      return;
    }
}

void PrintText(const std::vector<TDeviceEntry>& entries) {
  for (const TDeviceEntry& entry : entries) {
    // '*': the one `program` takes; '+': another programmer (--serial picks it);
    // '!': a programmer that no command could reach.
    const char* mark = !entry.IsProgrammer ? " " : !entry.AccessError.empty() ? "!" : entry.Taken ? "*" : "+";
    std::printf("%s %s  %s  %s:%s  in %u  out %u  %s\n", mark, PrintableText(entry.Description).c_str(),
                PrintableText(entry.Path).c_str(), HexText(entry.Attributes.VendorID, 4).c_str(),
                HexText(entry.Attributes.ProductID, 4).c_str(), unsigned{entry.Caps.InputReportByteLength},
                unsigned{entry.Caps.OutputReportByteLength}, entry.ReadWrite ? "read/write" : "query-only");
  }
}

void PrintJson(const std::vector<TDeviceEntry>& entries) {
  QJsonArray array;
  for (const TDeviceEntry& entry : entries) {
    array.append(QJsonObject{
        {"path", QString::fromStdString(entry.Path)},
        {"vendor_id", int{entry.Attributes.VendorID}},
        {"product_id", int{entry.Attributes.ProductID}},
        {"version", int{entry.Attributes.VersionNumber}},
        {"manufacturer", QString::fromStdString(entry.Manufacturer)},
        {"product", QString::fromStdString(entry.Product)},
        {"serial", QString::fromStdString(entry.Serial)},
        {"input_report_length", int{entry.Caps.InputReportByteLength}},
        {"output_report_length", int{entry.Caps.OutputReportByteLength}},
        {"read_write", entry.ReadWrite},
        {"is_programmer", entry.IsProgrammer},
        {"taken", entry.Taken},
        {"access_error", entry.AccessError.empty() ? QJsonValue(QJsonValue::Null)
                                                   : QJsonValue(QString::fromStdString(entry.AccessError))},
    });
  }
  PrintJsonDocument(QJsonDocument(array));
}

int RunList(const TListOptions& options) {
  hid::THidDeviceController controller(hid::platform::MakeNativeHidPlatform());
  if (!controller.IsBound()) {
    PrintError(hid::platform::NativeHidUnreachableText());
    return ExitFailed;
  }
  // The controller's first rescan comes from the notice it queued itself.
  TQtMessagePump pump;
  pump.ProcessMessages();

  std::vector<TDeviceEntry> entries;
  controller.SetOnEnumerate(hid::THidEnumerateEvent(
      [&entries](hid::THidDevice* device, int) {
        entries.push_back(Describe(*device));
        return true;
      }));
  controller.Enumerate();
  MarkTaken(entries);

  if (options.Json)
    PrintJson(entries);
  else
    PrintText(entries);
  if (entries.empty() && !options.Json) PrintError("no HID interface present");
  for (const TDeviceEntry& entry : entries)
    if (!entry.InUse.empty() && !options.Json)
      PrintError("! " + entry.Path + " is a KVM programmer " + entry.InUse + ": another program has connected it");
    else if (!entry.AccessError.empty() && !options.Json)
      PrintError("! " + entry.Path + " is a KVM programmer that cannot be opened for reading and writing (" +
                 entry.AccessError + "): " + AccessFixWithDoctor());
  return ExitOk;
}

}  // namespace

void AddListCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TListOptions>();
  CLI::App* command = app.add_subcommand("list", "List the present HID interfaces");
  command->footer(
      "One line per interface: description, path, vendor:product, input and output report lengths, access. "
      "KVM programmers (vendor 0B39, product FF03, 8-byte input reports) are marked: '*' the one 'program' "
      "connects without --serial (the first listed), '+' another one ('program --serial' picks it), '!' one "
      "whose device node this user cannot open for reading and writing. With --json, \"taken\" is true for "
      "the '*' device.");
  command->add_flag("--json", options->Json, "Print a JSON array of objects");
  command->callback([options, &action] { action = [options] { return RunList(*options); }; });
}

}  // namespace kvm::cli
