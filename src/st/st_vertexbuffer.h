// A vertex array object with its index buffer and a list of float attribute streams.
// Producers write the CPU arrays and set `dirty`; the next bind uploads everything.
#pragma once
#include "st/gl.h"

namespace st {

class Vertexbuffer {
 public:
  // One float attribute stream: its GL buffer and its CPU-side array.
  class Attribarray {
   public:
    Attribarray* next = nullptr;
    int size = 0;      // components per element, 1 to 4
    int divisor = 0;   // 0: per vertex; n: one element per n instances
    GLuint vbo = 0;
    int location = 0;  // vertex attribute index in the shader
    int count = 0;     // floats in `data`, fixed when added
    float* data = nullptr;  // zeroed when added
    virtual ~Attribarray();
  };

  GLenum mode = 0;
  GLuint vao = 0;
  int vertexCount = 0;
  Attribarray* attribs = nullptr;  // newest first
  int dirty = 0;
  int instanceCount = 0;
  int indexCount = 0;
  unsigned* indices = nullptr;
  GLuint ibo = 0;

  Vertexbuffer();
  virtual ~Vertexbuffer();
  Vertexbuffer(const Vertexbuffer&) = delete;
  Vertexbuffer& operator=(const Vertexbuffer&) = delete;

  // indexCount -1 means "one index per vertex".
  void init(int vertexCount, int indexCount, int instanceCount);
  // Sized from the counts of this moment; returns the attribute's CPU array.
  float* addAttrib(int size, int location, int divisor);
  void bind();
  void draw();
  void unbind();
};

}  // namespace st
