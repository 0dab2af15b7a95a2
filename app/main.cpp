#include <string>

#include "app/kestrion_app.h"

// The parameter text is the arguments joined by single blanks, so that
// `kestrion URL "my file.zip"` and a launch with one argument read the same.
int main(int argc, char** argv) {
  std::string parameterText;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) parameterText += ' ';
    parameterText += argv[i];
  }
  return TheApp().Run(parameterText);
}
