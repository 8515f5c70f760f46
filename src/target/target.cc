#include "target/target.h"

namespace tessarn {
namespace {

using L = PatternLayout;
using E = EntryKind;

using C = ColourFormat;

//                 name          bits layout                entry                   limit  lr  tb  pal  pbits bank colours
constexpr Target kTargets[] = {
    {"classic",    2, L::kPlanePairs,       E::kWord,             16384, 14, 15, -1, 0, -1, C::kNone},
    {"gb",         2, L::kPlanePairs,       E::kByte,             256,   -1, -1, -1, 0, -1, C::kGb},
    {"gbc",        2, L::kPlanePairs,       E::kByteAndAttribute, 512,   5,  6,  0,  3, 3,  C::kBgr555},
    {"nes",        2, L::kPlanesApart,      E::kByteAndAreaTable, 256,   -1, -1, -1, 2, -1, C::kNes},
    {"snes-2bpp",  2, L::kPlanePairs,       E::kWord,             1024,  14, 15, 10, 3, -1, C::kBgr555},
    {"snes-4bpp",  4, L::kPlanePairs,       E::kWord,             1024,  14, 15, 10, 3, -1, C::kBgr555},
    {"snes-8bpp",  8, L::kPlanePairs,       E::kWord,             1024,  14, 15, -1, 0, -1, C::kBgr555},
    {"snes-mode7", 8, L::kBytePerPixel,     E::kByte,             256,   -1, -1, -1, 0, -1, C::kBgr555},
    {"gba-affine", 8, L::kBytePerPixel,     E::kByte,             256,   -1, -1, -1, 0, -1, C::kBgr555},
    {"pce",        4, L::kPlanePairs,       E::kWord,             4096,  -1, -1, 12, 4, -1, C::kPce},
    {"md",         4, L::kNibblesHighFirst, E::kWordBigEndian,    2048,  11, 12, 13, 2, -1, C::kMd},
    {"sms",        4, L::kPlanesInRow,      E::kWord,             512,   9,  10, 11, 1, -1, C::kSms},
    {"gg",         4, L::kPlanesInRow,      E::kWord,             512,   9,  10, 11, 1, -1, C::kGg},
    {"gba-4bpp",   4, L::kNibblesLowFirst,  E::kWord,             1024,  10, 11, 12, 4, -1, C::kBgr555},
    {"gba-8bpp",   8, L::kBytePerPixel,     E::kWord,             1024,  10, 11, -1, 0, -1, C::kBgr555},
};

}  // namespace

bool Target::isClassic() const { return this == &kTargets[0]; }

const Target* findTarget(std::string_view name) {
  for (const Target& target : kTargets) {
    if (name == target.name) return &target;
  }
  return nullptr;
}

const Target& classicTarget() { return kTargets[0]; }

std::string targetNames() {
  std::string names;
  for (const Target& target : kTargets) names += (names.empty() ? "" : ", ") + std::string(target.name);
  return names;
}

}  // namespace tessarn
