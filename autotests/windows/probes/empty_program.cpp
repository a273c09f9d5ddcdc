// A program that does nothing: the version tests read its image, with and
// without a version resource, as a console and as a GUI program.
int main() {
  return 0;
}
