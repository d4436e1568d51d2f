#include "platform/x11/input/X11KeyTable.hpp"

#include <array>
#include <utility>

namespace tovrel::platform::x11 {

namespace {

// {key code, X keycode}
constexpr std::pair<std::uint16_t, unsigned> table[] = {
    {0, 38},    {1, 39},    {2, 40},    {3, 41},    {4, 43},   {5, 42},    {6, 52},    {7, 53},
    {8, 54},    {9, 55},    {10, 94},   {11, 56},   {12, 24},  {13, 25},   {14, 26},   {15, 27},
    {16, 29},   {17, 28},   {18, 10},   {19, 11},   {20, 12},  {21, 13},   {22, 15},   {23, 14},
    {24, 21},   {25, 18},   {26, 16},   {27, 20},   {28, 17},  {29, 19},   {30, 35},   {31, 32},
    {32, 30},   {33, 34},   {34, 31},   {35, 33},   {36, 36},  {37, 46},   {38, 44},   {39, 48},
    {40, 45},   {41, 47},   {42, 51},   {43, 59},   {44, 61},  {45, 57},   {46, 58},   {47, 60},
    {48, 23},   {49, 65},   {50, 49},   {51, 22},   {53, 9},   {54, 134},  {55, 133},  {56, 50},
    {57, 66},   {58, 64},   {59, 37},   {60, 62},   {61, 108}, {62, 105},  {64, 195},  {65, 91},
    {67, 63},   {69, 86},   {71, 77},   {72, 123},  {73, 122}, {74, 121},  {75, 106},  {76, 104},
    {78, 82},   {79, 196},  {80, 197},  {81, 125},  {82, 90},  {83, 87},   {84, 88},   {85, 89},
    {86, 83},   {87, 84},   {88, 85},   {89, 79},   {90, 198}, {91, 80},   {92, 81},   {93, 132},
    {94, 97},   {96, 71},   {97, 72},   {98, 73},   {99, 69},  {100, 74},  {101, 75},  {103, 95},
    {105, 191}, {106, 194}, {107, 192}, {109, 76},  {111, 96}, {113, 193}, {114, 118}, {115, 110},
    {116, 112}, {117, 119}, {118, 70},  {119, 115}, {120, 68}, {121, 117}, {122, 67},  {123, 113},
    {124, 114}, {125, 116}, {126, 111},
};

constexpr unsigned xKeycodeLimit = 256;

constexpr auto byXKeycode = [] {
  std::array<std::int32_t, xKeycodeLimit> codes{};
  codes.fill(-1);
  for (auto [code, xKeycode] : table)
    codes[xKeycode] = code;
  return codes;
}();

}  // namespace

std::optional<std::uint16_t> keyCodeForXKeycode(unsigned xKeycode) {
  if (xKeycode >= xKeycodeLimit || byXKeycode[xKeycode] < 0) return std::nullopt;
  return static_cast<std::uint16_t>(byXKeycode[xKeycode]);
}

std::optional<unsigned> xKeycodeForKeyCode(std::uint16_t keyCode) {
  for (auto [code, xKeycode] : table)
    if (code == keyCode) return xKeycode;
  return std::nullopt;
}

char32_t keysymToUnicode(unsigned long keysym) {
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
    return static_cast<char32_t>(keysym);  // Latin-1 keysyms are their own code points
  if (keysym >= 0x01000100 && keysym <= 0x0110FFFF)
    return static_cast<char32_t>(keysym - 0x01000000);
  switch (keysym) {
    case 0xFF08:
      return 0x08;  // BackSpace
    case 0xFF09:
      return 0x09;  // Tab
    case 0xFE20:
      return 0x09;  // ISO_Left_Tab (Shift-Tab)
    case 0xFF0D:
      return 0x0D;  // Return
    case 0xFF8D:
      return 0x03;  // KP_Enter: the enter character
    case 0xFF1B:
      return 0x1B;  // Escape
    case 0xFFFF:
      return 0x7F;  // Delete
    case 0xFF80:
      return U' ';  // KP_Space
    case 0xFFAA:
      return U'*';
    case 0xFFAB:
      return U'+';
    case 0xFFAC:
      return U',';
    case 0xFFAD:
      return U'-';
    case 0xFFAE:
      return U'.';
    case 0xFFAF:
      return U'/';
    case 0xFFBD:
      return U'=';
    case 0x20AC:
      return 0x20AC;  // EuroSign
    default:
      break;
  }
  if (keysym >= 0xFFB0 && keysym <= 0xFFB9) return static_cast<char32_t>(U'0' + (keysym - 0xFFB0));
  return 0;
}

}  // namespace tovrel::platform::x11
