#include "dis_state.h"

DisState dis;
