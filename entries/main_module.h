#pragma once

#include <string>
#include <string_view>

namespace vq {

class FileSystem;
class MainWindow;

// The application title drawn from a product name: the text is cut before its
// last space, and cut again while it is longer than 40 characters. Throws
// Failure when there is no space left to cut at.
std::string DeriveAppTitle(std::string_view productName);

// Sets the application title that message boxes without a title of their own show.
void SetAppTitle(MainWindow& window, std::string_view productName);

// True when the last-modified time of what the path names can be read; false
// on any failure. Never throws.
bool FileExists(FileSystem& files, const std::string& path);

}  // namespace vq
