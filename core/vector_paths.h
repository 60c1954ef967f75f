// One switch for every decoder's vector paths. Each vector kernel is chosen at
// run time when the processor has its instructions; tests turn the choice off
// to run the scalar paths that machines without them take.
#pragma once

// True unless turned off; the processor's support is checked separately by
// each kernel.
bool vectorPathsEnabled();
void setVectorPathsEnabled(bool enabled);
