#pragma once

#include <memory>

class QApplication;

// The toolkit's application object on the user's display, given the first
// argc arguments. When no display can be opened the program ends with one
// line on stderr and status 1, not with the toolkit's abort.
std::unique_ptr<QApplication> OpenDisplayApplication(int& argc, char** argv);
