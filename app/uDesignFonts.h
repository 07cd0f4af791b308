#pragma once
// The fonts the windows were designed with, or stand-ins of their width.

namespace duomat {

// The windows ask for the fonts they were designed with ("MS Sans Serif" 8 pt).
// Where that font is missing, a font of its width stands in, so that the
// Czech captions fit their design sizes; the first one installed is used.
void SubstituteDesignFonts();

}  // namespace duomat
