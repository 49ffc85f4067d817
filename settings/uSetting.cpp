#include "uSetting.h"
