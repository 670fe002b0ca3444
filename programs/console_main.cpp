// The console edition: lists every startup entry on standard output (or in a
// file) in the shape the fleet tools parse, and opens no window: an error
// goes to standard error as one line, and the run goes on.
#include <windows.h>

#include <string>
#include <vector>

#include "console/listing.h"
#include "console/options.h"
#include "console/output.h"
#include "console/profiles.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_image_files.h"
#include "platform/win32/win32_profiles.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_task_scheduler.h"

namespace {

constexpr int kEverythingRead = 0, kSomethingUnread = 1, kUsage = 2;

// Text to a console goes through WriteConsoleW, which shows every character;
// to a file or a pipe as bytes: UTF-16LE after its byte-order mark, as the
// fleet tools decode it (Velociraptor's utf16(), DFIR-ORC's XML reader; the
// mark lets PowerShell decode it too), or UTF-8 for JSON Lines. A reader that
// closes the pipe early ends the writing quietly.
class Output {
 public:
  Output(HANDLE handle, bool utf8) : handle_(handle), utf8_(utf8) {
    // A console shows whatever character WriteConsoleW is given.
    DWORD mode = 0;
    console_ = ::GetConsoleMode(handle, &mode) != 0;
  }
  void Write(const std::string& text) {
    if (closed_ || text.empty()) return;
    if (console_) {
      const std::wstring wide = vq::win32::Widen(text);
      DWORD written = 0;
      ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      return;
    }
    if (!started_ && !utf8_) pending_ = "\xFF\xFE";
    started_ = true;
    pending_ += utf8_ ? text : vq::Utf16LeBytes(vq::Utf8ToUtf16(text));
    if (pending_.size() >= 1 << 16) Flush();
  }
  void Flush() {
    for (std::size_t done = 0; !closed_ && done < pending_.size();) {
      DWORD written = 0;
      if (!::WriteFile(handle_, pending_.data() + done, static_cast<DWORD>(pending_.size() - done), &written, nullptr)) {
        closed_ = true;
        const DWORD error = ::GetLastError();
        // A reader that has gone wanted no more; anything else (a full disk) lost part of the list.
        if (error != ERROR_NO_DATA && error != ERROR_BROKEN_PIPE) failure_ = error;
      } else if (written == 0) {
        closed_ = true, failure_ = ERROR_WRITE_FAULT;  // a write that takes nothing would never end
      }
      done += written;
    }
    pending_.clear();
  }
  // The system's error when the list could not be written whole; 0 when it was, or its reader stopped.
  DWORD failure() const { return failure_; }

 private:
  HANDLE handle_;
  bool utf8_, console_ = false, started_ = false, closed_ = false;
  DWORD failure_ = 0;
  std::string pending_;
};

// Standard error is for people and logs: UTF-8 where it is redirected.
void WriteError(const std::string& text) {
  static Output error(::GetStdHandle(STD_ERROR_HANDLE), true);
  error.Write(text);
  error.Flush();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(vq::win32::Narrow(argv[i]));
  const auto parsed = vq::ParseConsoleArguments(arguments);
  if (const auto* usage = std::get_if<vq::ConsoleUsageError>(&parsed)) {
    WriteError(usage->message + "\r\n\r\n" + vq::ConsoleUsage());
    return kUsage;
  }
  const vq::ConsoleOptions& options = std::get<vq::ConsoleOptions>(parsed);
  if (!options.noBanner) {
    WriteError("Vellorin Quade console edition 1.0 - the programs and services that start with Windows\r\n\r\n");
  }

  // A look at an empty drive (a card reader) must not wait on a "No disk" box no one will answer.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  vq::win32::ComApartment com;
  vq::win32::Win32Registry registry;
  vq::win32::Win32Shell shell(nullptr);
  vq::win32::Win32FileSystem files;
  vq::win32::Win32Services services;
  vq::win32::Win32ImageFiles images;
  vq::win32::Win32Profiles profiles(registry);
  vq::win32::Win32TaskScheduler tasks;
  // Hives loaded for the listing outlive every key the listing opens, and are
  // unloaded however the run ends.
  std::vector<std::unique_ptr<vq::LoadedHive>> loaded;
  vq::ConsoleListing listing(registry, shell, files, images, [](const std::string& line) { WriteError(line + "\r\n"); });
  vq::GatherEntries(listing, {listing, registry, shell, files, services, tasks}, profiles, options.user, loaded,
                    options.categories);

  vq::win32::UniqueFileHandle file;
  HANDLE target = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (options.outputFile) {
    file.reset(::CreateFileW(vq::win32::Widen(*options.outputFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      WriteError("The output file cannot be written: " + *options.outputFile + "\r\n");
      return kSomethingUnread;
    }
    target = file.get();
  }
  Output output(target, options.format == vq::OutputFormat::JsonLines);
  const vq::ConsoleWriter writer(options.format, options.signatures, options.hashes, options.virusTotal);
  output.Write(writer.Begin());
  for (const vq::ConsoleEntry& entry : listing.Entries(options)) output.Write(writer.Row(entry));
  output.Write(writer.End());
  output.Flush();
  if (output.failure() != 0) {
    WriteError("The list could not be written whole: " + vq::win32::SystemMessage(output.failure()) + "\r\n");
    return kSomethingUnread;
  }
  return listing.failed() ? kSomethingUnread : kEverythingRead;
}
