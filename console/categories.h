#pragma once

#include <span>
#include <string_view>

namespace vq {

// A source of startup entries as the console edition's -a switch chooses it:
// its letter and the name its rows carry in the Category column.
struct ConsoleCategory {
  char letter;
  std::string_view name;
};

// The sources this program has, in the order the console edition lists them.
std::span<const ConsoleCategory> ConsoleCategories();

// True for a letter -a takes: one of ours, or one that the fleet tools pass
// out of habit for sources this program does not have (those list nothing).
bool IsCategoryLetter(char letter);

// True when the -a letters (lower case, as parsed) choose the category named
// so: every category when they hold '*'; otherwise only ours, by their letters.
bool CategoryChosen(std::string_view letters, std::string_view category);

}  // namespace vq
