#include "console/categories.h"

namespace vq {

namespace {

constexpr ConsoleCategory kCategories[] = {
    {'l', "Logon"},         {'b', "Boot Execute"},   {'d', "AppInit"},  {'h', "Hijacks"}, {'s', "Services"},
    {'s', "Drivers"},       {'t', "Tasks"},          {'r', "LSA Providers"}, {'p', "Print Monitors"},
    {'w', "Winlogon"},      {'o', "Office"},
};

// Letters the fleet tools' command lines may hold for sources we do not
// gather (codecs, known DLLs …): accepted, so that their command lines run
// unchanged, and they choose nothing.
constexpr std::string_view kLettersListingNothing = "cegikmn";

}  // namespace

std::span<const ConsoleCategory> ConsoleCategories() { return kCategories; }

bool IsCategoryLetter(char letter) {
  for (const ConsoleCategory& category : kCategories) {
    if (category.letter == letter) return true;
  }
  return kLettersListingNothing.find(letter) != std::string_view::npos;
}

bool CategoryChosen(std::string_view letters, std::string_view category) {
  if (letters.find('*') != std::string_view::npos) return true;
  for (const ConsoleCategory& known : kCategories) {
    if (known.name == category) return letters.find(known.letter) != std::string_view::npos;
  }
  return false;
}

}  // namespace vq
