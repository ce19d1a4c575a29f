// Lets pure CPU tests build Vertexbuffers without a GL context: the few GL entry points a
// builder calls (name generation and the error query) are pointed at tiny stand-ins that
// hand out fresh names and report no error. Nothing is drawn or uploaded through them.
#pragma once

namespace test {
void installCpuGlStubs();
}
