// The pure tests' show, made on first use.
#include "support/cpu_show.h"

#include "show/meshes.h"
#include "support/cpu_gl.h"

namespace test {

Show& cpuShow() {
  static Show* show = [] {
    installCpuGlStubs();
    Show* s = new Show;
    s->lineBuffer = makeLineBuffer(s->lines);
    s->spriteBuffer = makeSpriteBuffer(s->spriteInstances);
    return s;
  }();
  return *show;
}

LineBatch& lines() { return cpuShow().lines; }

}  // namespace test
