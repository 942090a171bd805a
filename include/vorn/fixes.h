// Making the fixes of diagnostics in a file's text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
namespace vorn {

// A file's text with fixes made, and for each fix whether it was.
struct FixedText {
    std::string text;
    std::vector<bool> made;
};

// Makes in text, the content of file, every fix all of whose edits are of that file, fit its
// lines and overlap no edit made before them (the same fix twice included); the others are
// left out.
FixedText apply_fixes(std::string_view text, const std::string& file, const std::vector<const Fix*>& fixes);

}  // namespace vorn
