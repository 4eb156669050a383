#include "ui/textgrid.h"
