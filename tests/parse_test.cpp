// The command line's value parsers: what each takes, what each refuses, and what it says then.
#include "mapfile/index_list.h"
#include "tools/parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

namespace {

TEST(Parse, WholeNumbersInTheirRange) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {{"16", true, 16},   {"1024", true, 1024}, {"15", false, 0},
               {"1025", false, 0}, {"", false, 0},       {" 64", false, 0},
               {"64 ", false, 0},  {"+64", false, 0},    {"-16", false, 0},
               {"64px", false, 0}, {"0x20", false, 0},   {"99999999999", false, 0},
               {"0016", true, 16}};
  for (const Case& c : cases) {
    int v = 0;
    EXPECT_EQ(wholeIn(c.text, 16, 1024, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(Parse, DecimalsAreFiniteFloats) {
  struct Case {
    const char* text;
    bool ok;
    float value;
  } cases[] = {
      {"0", true, 0},      {"-12.5", true, -12.5f},   {"+3", true, 3},    {"1e3", true, 1000},
      {".5", true, 0.5f},  {"3.4e38", true, 3.4e38f}, {"1e39", false, 0}, {"-1e39", false, 0},
      {"inf", false, 0},   {"nan", false, 0},         {"0x10", false, 0}, {"", false, 0},
      {"1.5.2", false, 0}, {"1 ", false, 0},          {"e", false, 0},    {"--1", false, 0}};
  for (const Case& c : cases) {
    float v = 0;
    EXPECT_EQ(decimal(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(Parse, Sizes) {
  struct Case {
    const char* text;
    bool ok;
    int w, h;
  } cases[] = {{"640x480", true, 640, 480},
               {"1X1", true, 1, 1},
               {"16384x16384", true, 16384, 16384},
               {"16385x10", false, 0, 0},
               {"0x480", false, 0, 0},
               {"640x", false, 0, 0},
               {"x480", false, 0, 0},
               {"640*480", false, 0, 0},
               {"640x480x2", false, 0, 0},
               {"-640x480", false, 0, 0},
               {"99999999999x1", false, 0, 0}};
  for (const Case& c : cases) {
    int w = 0, h = 0;
    std::string err;
    EXPECT_EQ(parseSize(c.text, w, h, err), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(w, c.w);
      EXPECT_EQ(h, c.h);
    } else {
      EXPECT_EQ(err, std::string("--size: expected WIDTHxHEIGHT, each from 1 to 16384, e.g. "
                                 "640x480 (got '") +
                         c.text + "')");
    }
  }
}

TEST(Parse, Cameras) {
  struct Case {
    const char* text;
    bool ok;
    float trot[5];
  } cases[] = {{"0,0,0,0,0", true, {0, 0, 0, 0, 0}},
               {"1.5,-2,3e2,30,-45", true, {1.5f, -2, 300, 30, -45}},
               {"0,0,0,0", false, {}},
               {"0,0,0,0,0,0", false, {}},
               {"0,,0,0,0", false, {}},
               {"0,0,0,0,", false, {}},
               {",0,0,0,0", false, {}},
               {"0,0,0,0,inf", false, {}},
               {"0,0,1e39,0,0", false, {}},
               {"a,b,c,d,e", false, {}},
               {"", false, {}}};
  for (const Case& c : cases) {
    Camera cam;
    std::string err;
    EXPECT_EQ(parseCamera(c.text, cam, err), c.ok) << c.text;
    if (c.ok)
      for (int i = 0; i < 5; i++) EXPECT_EQ(cam.trot[i], c.trot[i]) << c.text << " " << i;
    else
      EXPECT_NE(
          err.find(std::string("TX,TY,TZ,PITCH,YAW, e.g. 0,0,0,10,-30 (got '") + c.text + "')"),
          std::string::npos)
          << err;
  }
}

TEST(Parse, SelectIndices) {
  struct Case {
    bool given;
    const char* text;
    bool ok;
    int index;
  } cases[] = {{false, "", true, -1},        {true, "0", true, 0},
               {true, "65534", true, 65534}, {true, "65535", false, -1},
               {true, "", false, -1},        {true, "-1", false, -1},
               {true, "3 ", false, -1},      {true, "4294967296", false, -1}};
  for (const Case& c : cases) {
    int index = 7;
    std::string err;
    EXPECT_EQ(parseSelect(c.given, c.text, index, err), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(index, c.index) << c.text;
    } else {
      EXPECT_NE(err.find("--select: expected a lattice index"), std::string::npos);
    }
  }
}

} // namespace

namespace {

// Lattice index lists: what --hide, P and links write. Parsing the formatted list gives the
// list back; runs of three or more are A-B.
// The cut P prints reads back as the same cut; malformed or doubled cuts are refused.
TEST(Parse, SectionsRoundTripFromThePLine) {
  for (float y : {0.0f, -0.0f, 0.1f, -1234.5678f, 3.4e38f, 1e-30f})
    for (SectionKeeps keeps : {SectionKeeps::below, SectionKeeps::above}) {
      std::string text = sectionText({keeps, y}), err; // "--section Y" or "--section-above Y"
      std::string value = text.substr(text.find(' ') + 1);
      bool below = text.substr(0, text.find(' ')) == "--section";
      Section cut;
      ASSERT_TRUE(parseSection(below ? &value : nullptr, below ? nullptr : &value, cut, err))
          << text << ": " << err;
      EXPECT_EQ(cut.keeps, keeps);
      EXPECT_EQ(std::memcmp(&cut.y, &y, 4), 0) << text;
    }
  EXPECT_EQ(sectionText({}), "");
  std::string nan = "nan", two = "2", empty, err;
  Section cut;
  for (auto [below, above, want] :
       {std::tuple{&nan, (std::string*)nullptr,
                   "--section: expected a height, a decimal number (got 'nan')"},
        {nullptr, &empty, "--section-above: expected a height, a decimal number (got '')"},
        {&two, &two,
         "--section and --section-above: give one (the part kept is below or above)"}}) {
    EXPECT_FALSE(parseSection(below, above, cut, err));
    EXPECT_EQ(err, want);
  }
  EXPECT_TRUE(parseSection(nullptr, nullptr, cut, err));
  EXPECT_EQ(cut.keeps, SectionKeeps::all);
}

// --ortho reads back what P prints; no half-height is zero, negative or not a number.
TEST(Parse, OrthoRoundTripsFromThePLine) {
  for (float half : {1.04999995f, 0.001f, 5227.5f, 3.4e38f}) {
    std::string text = orthoText(half), err;
    float back = 0;
    ASSERT_TRUE(parseOrtho(true, text.substr(8), back, err)) << text << ": " << err;
    EXPECT_EQ(back, half) << text;
  }
  float half = 7;
  std::string err;
  EXPECT_TRUE(parseOrtho(false, "", half, err));
  EXPECT_EQ(half, 0);
  for (const char* bad : {"0", "-2", "nan", "1e39", ""}) {
    EXPECT_FALSE(parseOrtho(true, bad, half, err)) << bad;
    EXPECT_EQ(err,
              std::string("--ortho: expected the view's half-height, a positive number (got '") +
                  bad + "')");
  }
}

// --far reads back what --fit prints; a distance is a finite number of at least 1.
TEST(Parse, FarRoundTripsAndRefusesWhatIsNoDistance) {
  for (float far : {1.0f, 17178.0f, 3.4e38f}) {
    std::string text = farText(far), err;
    float back = 0;
    ASSERT_TRUE(parseFar(true, text.substr(6), back, err)) << text << ": " << err;
    EXPECT_EQ(back, far) << text;
  }
  float far = 7;
  std::string err;
  EXPECT_TRUE(parseFar(false, "", far, err));
  EXPECT_EQ(far, 0);
  for (const char* bad : {"0.5", "-2", "nan", "inf", ""}) {
    EXPECT_FALSE(parseFar(true, bad, far, err)) << bad;
    EXPECT_EQ(far, 0) << bad;
  }
}

TEST(IndexList, RoundTripsAndRuns) {
  struct Case {
    std::vector<int> indices;
    std::string text;
  } cases[] = {{{0}, "0"},
               {{2, 3}, "2,3"},
               {{2, 3, 4}, "2-4"},
               {{2, 5, 6, 7, 8, 9, 14}, "2,5-9,14"},
               {{0, 1, 2, 4, 5, 7, 8, 9}, "0-2,4,5,7-9"},
               {{65534}, "65534"}};
  for (const Case& c : cases) {
    EXPECT_EQ(formatIndexList(c.indices), c.text);
    std::vector<int> back;
    std::string err;
    EXPECT_TRUE(parseIndexList(c.text, 65534, back, err)) << c.text << ": " << err;
    EXPECT_EQ(back, c.indices) << c.text;
  }
  std::vector<int> out;
  std::string err;
  EXPECT_TRUE(parseIndexList("1,2-2,3", 65534, out, err));
  EXPECT_EQ(out, (std::vector<int>{1, 2, 3}));
}

TEST(IndexList, Refusals) {
  for (const char* text :
       {"",   ",", "1,",  ",1", "3,2", "2,2",   "1-3,3",   "5-4",    "1--3",        "-1",
        "1-", "a", "1.5", " 1", "1 ",  "65535", "0-65535", "123456", "99999999999", "1;2"}) {
    std::vector<int> out = {7};
    std::string err;
    EXPECT_FALSE(parseIndexList(text, 65534, out, err)) << text;
    EXPECT_TRUE(out.empty()) << text;
    EXPECT_NE(err.find(std::string("(got '") + text + "')"), std::string::npos) << err;
  }
  std::vector<int> hide;
  std::string err;
  EXPECT_FALSE(parseHide(true, "3,1", hide, err));
  EXPECT_EQ(err.rfind("--hide: expected increasing lattice indices", 0), 0u) << err;
  EXPECT_TRUE(parseHide(false, "", hide, err));
  EXPECT_TRUE(hide.empty());
}

} // namespace
