// The overlay's glyphs: printable ASCII baked at build time from DejaVu Sans Mono into an alpha
// atlas (scripts/bake_font.cpp writes font_atlas.cpp), so nothing is read at run time.
#pragma once

// Where one glyph lies in the atlas (pixels, top-left origin) and where its box goes from the
// pen: x by xoff, y by yoff from the baseline (negative is up).
struct FontGlyph {
  short x0, y0, x1, y1;
  float xoff, yoff;
};

struct FontAtlas {
  int width, height;          // of the alpha bitmap, in pixels
  const unsigned char* alpha; // width x height coverage values, rows from the top
  const FontGlyph* glyphs;    // for characters first .. first + count - 1
  int first, count;
  int ascent;     // pixels from a line's top to its baseline
  int lineHeight; // pixels from one baseline to the next
  int advance;    // pixels from one character to the next: the font is monospaced
};

extern const FontAtlas fontAtlas;
