// The band playing the score: the kick's ducking curve for the whole render, then every
// part of one rendered bar straight into the mix.
#pragma once

namespace soundtrack {

void composeDucking();
void composeBar(int renderBar);

}  // namespace soundtrack
