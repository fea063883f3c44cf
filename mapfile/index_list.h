// Lists of lattice indices as the command line and links write them: increasing indices
// separated by commas, runs of three or more written A-B ("2,5-9,14").
#pragma once

#include <string>
#include <vector>

// The indices of `text` in increasing order. False, with `err` saying what is wrong, for a
// list that is empty, malformed, not increasing, or names an index past `maxIndex`.
bool parseIndexList(const std::string& text, int maxIndex, std::vector<int>& out, std::string& err);

// `indices` (increasing) as a list: runs of three or more as A-B, pairs as A,B.
std::string formatIndexList(const std::vector<int>& indices);
