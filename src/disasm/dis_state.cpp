#include "dis_state.h"

namespace vorn::dis {

DisState dis;

void reset_dis_state() { dis = DisState{}; }

}  // namespace vorn::dis
