// The floor slab: near-black, a little lighter towards the centre, and always far darker
// than the lines standing on it (at most 0.05 against their 0.5 and more).
#version 330 core
in vec3 vNormal;
out vec4 colour;
void main() {
  float up = vNormal.y * inversesqrt(dot(vNormal, vNormal));   // 1 at the centre, 0.58 at the corners
  float sheen = up * up;
  sheen *= sheen;                                              // 1 .. 0.11
  colour = vec4(vec3(0.004, 0.005, 0.008) + vec3(0.024, 0.030, 0.044) * sheen, 1.0);
}
