// How much the real display enlarges what it presents on a high-density screen, as a desktop
// does for programs that know nothing of density: by a whole factor, so pixels stay sharp.
#pragma once

namespace morvala::drivers {

// `requested` is MORVALA_SCALE (a whole number from 1 to 8, or null); otherwise the factor
// follows the screen's density in dots per inch (0 when unknown), 96 being one.
int PresentationScale(const char* requested, float dotsPerInch);

}  // namespace morvala::drivers
