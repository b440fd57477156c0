#include "job/NovelEngine.h"
