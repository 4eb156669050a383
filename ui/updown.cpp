#include "ui/updown.h"
