#include "dis_state.h"

DisState dis;

void reset_dis_state() { dis = DisState{}; }
