// A crypto source that reaches up into the window: the layering check must refuse it.
#include "app/AppDelegate.h"
