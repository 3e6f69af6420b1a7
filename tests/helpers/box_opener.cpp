// Shows one Yes/No message box per argument (the argument is its text) and ends with an
// exit code that holds every answer in order, one decimal digit each.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  int answers = 0;
  for (int i = 1; i < argc; ++i) answers = answers * 10 + MessageBoxA(nullptr, argv[i], "Box opener", MB_YESNO);
  return answers;
}
