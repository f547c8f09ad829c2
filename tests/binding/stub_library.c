/* A shared library with none of the media libraries' entry points. */
int tarnwick_stub_marker(void) {
  return 1;
}
