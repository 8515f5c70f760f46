/* Uses the arrays tessarn generated: exits 0 if they hold what the art
   says. The font, a library, has two patterns, numbered 256 and 257; the
   level's tiles are those two in palette 1, the inverse's the two patterns
   the art adds. */
#include "font.h"
#include "output.txt"

int main(void) {
  const int font_right = font_glyphs_WIDTH == 2 && font_glyphs_HEIGHT == 1 && font_PATTERN_COUNT == 2 &&
                         font_FIRST_PATTERN == 256 && font_glyphs[0] == 0x0100 && font_glyphs[1] == 0x0101 &&
                         font_patterns[8] == 0x0080 && font_patterns[9] == 0;
  const int sizes_right = W_level == 2 && H_level == 1 && MAX_PCG == 2 && FIRST_PCG == 258;
  const int words_right = level[0] == 0x0500 && level[1] == 0x0501 && inverse[0] == 0x0102 && inverse[1] == 0x0103;
  const int pattern_right = PCG_DAT[0] == 0x00FF && PCG_DAT[8] == 0x007F && PCG_DAT[9] == 0x00FF;
  return font_right && sizes_right && words_right && pattern_right ? 0 : 1;
}
