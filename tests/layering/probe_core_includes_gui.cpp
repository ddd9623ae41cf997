// Must not compile: the core has no widgets and knows nothing of the window.
#include "gui/MainView.h"
