// kvmflash-cli list: the present HID interfaces, and which one the window
// would take for the programmer.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "core/MessagePump.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonWriter.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/linux/LinuxHidPlatform.h"
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
  return entry;
}

void PrintText(const std::vector<TDeviceEntry>& entries) {
  for (const TDeviceEntry& entry : entries) {
    std::printf("%s %s  %s  %s:%s  in %u  out %u  %s\n", entry.IsProgrammer ? "*" : " ", entry.Description.c_str(),
                entry.Path.c_str(), HexText(entry.Attributes.VendorID, 4).c_str(),
                HexText(entry.Attributes.ProductID, 4).c_str(), unsigned{entry.Caps.InputReportByteLength},
                unsigned{entry.Caps.OutputReportByteLength}, entry.ReadWrite ? "read/write" : "query-only");
  }
}

void PrintJson(const std::vector<TDeviceEntry>& entries) {
  std::vector<TJsonObject> objects;
  for (const TDeviceEntry& entry : entries) {
    TJsonObject& json = objects.emplace_back();
    json.Add("path", entry.Path)
        .Add("vendor_id", int{entry.Attributes.VendorID})
        .Add("product_id", int{entry.Attributes.ProductID})
        .Add("version", int{entry.Attributes.VersionNumber})
        .Add("manufacturer", entry.Manufacturer)
        .Add("product", entry.Product)
        .Add("serial", entry.Serial)
        .Add("input_report_length", int{entry.Caps.InputReportByteLength})
        .Add("output_report_length", int{entry.Caps.OutputReportByteLength})
        .Add("read_write", entry.ReadWrite)
        .Add("is_programmer", entry.IsProgrammer);
  }
  std::printf("%s\n", JsonArray(objects).c_str());
}

int RunList(const TListOptions& options) {
  hid::THidDeviceController controller(hid::platform::MakeLinuxHidPlatform());
  if (!controller.IsBound()) {
    PrintError("cannot reach the HID devices of this system (udev and hidraw access failed)");
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

  if (options.Json)
    PrintJson(entries);
  else
    PrintText(entries);
  if (entries.empty() && !options.Json) PrintError("no HID interface present");
  return ExitOk;
}

}  // namespace

void AddListCommand(CLI::App& app, TCommandAction& action) {
  auto options = std::make_shared<TListOptions>();
  CLI::App* command = app.add_subcommand("list", "List the present HID interfaces");
  command->footer(
      "One line per interface: description, path, vendor:product, input and output report lengths, access. '*' "
      "marks a device that would be connected as the KVM programmer (vendor 0B39, product FF03, 8-byte input "
      "reports).");
  command->add_flag("--json", options->Json, "Print a JSON array of objects");
  command->callback([options, &action] { action = [options] { return RunList(*options); }; });
}

}  // namespace kvm::cli
