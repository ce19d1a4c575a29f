// Vertex buffers: CPU arrays uploaded whole when dirty, attributes pointed at every bind.
#include "st/st_vertexbuffer.h"

#include <cstdlib>

#include "st/report.h"

namespace st {

static void checkGlError(int line) { checkGlErrorIn(__FILE__, line); }

Vertexbuffer::Attribarray::~Attribarray() { free(data); }

Vertexbuffer::Vertexbuffer() {
  glGenVertexArrays(1, &vao);
  checkGlError(__LINE__);
}

Vertexbuffer::~Vertexbuffer() {
  Attribarray* a = attribs;
  while (a) {
    Attribarray* next = a->next;
    glDeleteBuffers(1, &a->vbo);
    delete a;
    a = next;
  }
  glDeleteVertexArrays(1, &vao);
  checkGlError(__LINE__);
  free(indices);
  glDeleteBuffers(1, &ibo);
  checkGlError(__LINE__);
}

void Vertexbuffer::init(int vertices, int indexTotal, int instances) {
  instanceCount = instances;
  vertexCount = vertices;
  mode = GL_TRIANGLES;
  indexCount = indexTotal == -1 ? vertices : indexTotal;
  glGenBuffers(1, &ibo);
  indices = (unsigned*)malloc(sizeof(unsigned) * (size_t)(indexCount > 0 ? indexCount : 1));
  for (int i = 0; i < indexCount; ++i) indices[i] = (unsigned)i;
  dirty = 1;
}

float* Vertexbuffer::addAttrib(int size, int location, int divisor) {
  dirty = 1;
  Attribarray* a = new Attribarray;
  a->size = size;
  a->location = location;
  a->divisor = divisor;
  a->count = divisor == 0 ? size * vertexCount : size * (instanceCount / divisor);
  // Cleared, so that what goes up before a producer has written everything (a per-instance
  // array read at element 0 when drawn with no instances) is the same on every run.
  a->data = (float*)calloc((size_t)(a->count > 0 ? a->count : 1), sizeof(float));
  glGenBuffers(1, &a->vbo);
  checkGlError(__LINE__);
  a->next = attribs;
  attribs = a;
  return a->data;
}

void Vertexbuffer::bind() {
  if (dirty) {
    glBindVertexArray(vao);
    checkGlError(__LINE__);
    dirty = 0;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
    checkGlError(__LINE__);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)indexCount * 4, indices, GL_STATIC_DRAW);
    checkGlError(__LINE__);
    for (Attribarray* a = attribs; a; a = a->next) {
      glBindBuffer(GL_ARRAY_BUFFER, a->vbo);
      checkGlError(__LINE__);
      glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)a->count * 4, a->data, GL_STATIC_DRAW);
      checkGlError(__LINE__);
    }
    glBindVertexArray(0);
    checkGlError(__LINE__);
  }
  glBindVertexArray(vao);
  checkGlError(__LINE__);
  for (Attribarray* a = attribs; a; a = a->next) {
    glEnableVertexAttribArray((GLuint)a->location);
    checkGlError(__LINE__);
    glBindBuffer(GL_ARRAY_BUFFER, a->vbo);
    checkGlError(__LINE__);
    glVertexAttribPointer((GLuint)a->location, a->size, GL_FLOAT, GL_FALSE, 0, nullptr);
    checkGlError(__LINE__);
    glVertexAttribDivisor((GLuint)a->location, (GLuint)a->divisor);
    checkGlError(__LINE__);
  }
}

void Vertexbuffer::draw() {
  if (instanceCount > 1) {
    glDrawElementsInstanced(mode, indexCount, GL_UNSIGNED_INT, nullptr, instanceCount);
    checkGlError(__LINE__);
  } else {
    glDrawElements(mode, indexCount, GL_UNSIGNED_INT, nullptr);
    checkGlError(__LINE__);
  }
}

void Vertexbuffer::unbind() {
  for (Attribarray* a = attribs; a; a = a->next) {
    glDisableVertexAttribArray((GLuint)a->location);
    checkGlError(__LINE__);
  }
  glBindVertexArray(0);
  checkGlError(__LINE__);
}

}  // namespace st
