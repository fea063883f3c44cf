// Lattice index lists: the parser and the formatter.
#include "index_list.h"

#include <charconv>

namespace {

// A whole number of at most five digits, all of `s`.
bool index(std::string_view s, int& v) {
  if (s.empty() || s.size() > 5) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}

} // namespace

bool parseIndexList(const std::string& text, int maxIndex, std::vector<int>& out,
                    std::string& err) {
  out.clear();
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string_view part = std::string_view(text).substr(start, comma - start);
    size_t dash = part.find('-');
    int a = 0, b = 0;
    bool ok = dash == std::string_view::npos
                  ? index(part, a) && index(part, b)
                  : index(part.substr(0, dash), a) && index(part.substr(dash + 1), b);
    if (!ok || b < a || (!out.empty() && a <= out.back()) || b > maxIndex) {
      // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on one long sum here.
      err = "expected increasing lattice indices from 0 to ";
      err += std::to_string(maxIndex);
      err += ", runs written A-B, e.g. 2,5-9,14 (got '";
      err += text;
      err += "')";
      out.clear();
      return false;
    }
    for (int i = a; i <= b; i++) out.push_back(i);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

std::string formatIndexList(const std::vector<int>& indices) {
  std::string s;
  for (size_t i = 0; i < indices.size();) {
    size_t j = i;
    while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) j++;
    if (!s.empty()) s += ',';
    s += std::to_string(indices[i]);
    if (j >= i + 2) {
      s += '-';
      s += std::to_string(indices[j]);
      i = j + 1;
    } else {
      i++;
    }
  }
  return s;
}
