// The OpenGL API as the show sees it: glad's generated loader, one include for all.
#pragma once
#include <glad/gl.h>
