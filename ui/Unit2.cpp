#include "ui/Unit2.h"
