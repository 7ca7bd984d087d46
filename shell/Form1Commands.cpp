// The commands behind the toggle buttons. Each runs after its button's guard
// has let a press through.
#include "Form1.h"

namespace tessaly {

void Form1::splitCommand() {}

void Form1::joinCommand() {}

void Form1::pickSourceFile() {}

void Form1::pickOutputFolder() {}

void Form1::pickIndexFile() {}

} // namespace tessaly
