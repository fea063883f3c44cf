// The viewer's entry pieces that tests reach: quote stripping, the map name, the frame.
#pragma once

#include "mapfile/lattice.h"
#include "platform/win32.h"

#include <string>

// Removes every double quote from the NUL-terminated text, in place; nothing else changes.
void stripQuotes(char* text);

// The first whitespace-delimited word of the text file `path`, of any length. False with
// `err` set when the file does not open or holds no word.
bool readFirstWord(const char* path, std::string& word, std::string& err);

// Draws one frame into the current context and presents it on `dc`.
void drawScene(HDC dc, const Lattice* lat, const float* trot);
