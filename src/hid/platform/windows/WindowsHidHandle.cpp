#include "hid/platform/windows/WindowsHidHandle.h"

#include <cstring>

#include "hid/platform/windows/DeviceStrings.h"
#include "hid/platform/windows/Hid.h"

namespace kvm::hid::platform::windows {

TWindowsPreparsedData::TWindowsPreparsedData(PHIDP_PREPARSED_DATA data)
    : data_(data), free_(HidEntryPoints().FreePreparsedData) {
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(free_)), &library_);
}

TWindowsPreparsedData::~TWindowsPreparsedData() {
  if (free_ != nullptr && data_ != nullptr) free_(data_);
  if (library_ != nullptr) FreeLibrary(library_);
}

TWindowsHidHandle::TWindowsHidHandle(HANDLE file, TOpenMode mode) : file_(file), mode_(mode) {
  if (mode == TOpenMode::Read) reader_ = std::make_unique<TOverlappedRead>(file);
}

TWindowsHidHandle::~TWindowsHidHandle() {
  reader_.reset();  // its outstanding read must end before the handle closes
  CloseHandle(file_);
}

bool TWindowsHidHandle::GetAttributes(THidAttributes& attributes) {
  const auto query = HidEntryPoints().GetAttributes;
  if (query == nullptr) return false;
  HIDD_ATTRIBUTES raw{};
  raw.Size = sizeof raw;
  if (!query(file_, &raw)) return false;
  attributes.Size = raw.Size;
  attributes.VendorID = raw.VendorID;
  attributes.ProductID = raw.ProductID;
  attributes.VersionNumber = raw.VersionNumber;
  return true;
}

std::unique_ptr<TPreparsedData> TWindowsHidHandle::GetPreparsedData() {
  const auto query = HidEntryPoints().GetPreparsedData;
  PHIDP_PREPARSED_DATA data = nullptr;
  if (query == nullptr || !query(file_, &data) || data == nullptr) return nullptr;
  return std::make_unique<TWindowsPreparsedData>(data);
}

bool TWindowsHidHandle::QueryString(TStringQuery query, std::u16string& text) {
  if (query == nullptr) return false;
  char16_t buffer[kStringBufferUnits] = {};
  if (!query(file_, buffer, kStringBufferBytes)) return false;
  text = TextFromStringBuffer(buffer);
  return true;
}

bool TWindowsHidHandle::GetManufacturerString(std::u16string& text) {
  return QueryString(HidEntryPoints().GetManufacturerString, text);
}

bool TWindowsHidHandle::GetProductString(std::u16string& text) {
  return QueryString(HidEntryPoints().GetProductString, text);
}

bool TWindowsHidHandle::GetSerialNumberString(std::u16string& text) {
  const auto& hid = HidEntryPoints();
  if (hid.GetSerialNumberString == nullptr || hid.GetIndexedString == nullptr) return false;
  char16_t serial[kStringBufferUnits] = {};
  if (!hid.GetSerialNumberString(file_, serial, kStringBufferBytes)) return false;
  char16_t languages[kStringBufferUnits];
  std::memset(languages, 0xFF, sizeof languages);
  // String index 0 is the language-ID table; its result is not needed: an
  // unanswered query leaves the buffer all 0xFFFF.
  hid.GetIndexedString(file_, 0, languages, kStringBufferBytes);
  text = SerialFromBuffers(serial, languages);
  return true;
}

bool TWindowsHidHandle::GetNumInputBuffers(std::uint32_t& count) {
  const auto query = HidEntryPoints().GetNumInputBuffers;
  ULONG value = 0;
  if (query == nullptr || !query(file_, &value)) return false;
  count = value;
  return true;
}

bool TWindowsHidHandle::SetNumInputBuffers(std::uint32_t count) {
  const auto set = HidEntryPoints().SetNumInputBuffers;
  return set != nullptr && set(file_, count);
}

bool TWindowsHidHandle::Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written,
                              std::uint32_t& error) {
  written = 0;
  error = 0;
  // Only the general handle is synchronous; the overlapped ones would need a
  // record this call does not have.
  if (mode_ != TOpenMode::ReadWrite && mode_ != TOpenMode::QueryOnly) {
    error = ERROR_INVALID_FUNCTION;
    return false;
  }
  if (count > MAXDWORD) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  DWORD done = 0;
  if (!WriteFile(file_, buffer, static_cast<DWORD>(count), &done, nullptr)) {
    error = GetLastError();
    return false;
  }
  written = done;
  return true;
}

TReadStatus TWindowsHidHandle::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                                    std::uint32_t& error) {
  got = 0;
  if (reader_ == nullptr) {
    error = ERROR_INVALID_FUNCTION;  // reads go through the reader's overlapped handle
    return TReadStatus::Error;
  }
  return reader_->Read(buffer, capacity, got, timeoutMs, error);
}

void TWindowsHidHandle::Cancel() {
  if (reader_ != nullptr) reader_->Cancel();
}

bool TWindowsHidHandle::HasPendingRead() const { return reader_ != nullptr && reader_->HasPendingRead(); }

}  // namespace kvm::hid::platform::windows
