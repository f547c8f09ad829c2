// The nice values of the thread priorities.

#include "threads/thread_priority.h"

int NiceValue(TThreadPriority Priority) {
  constexpr int Values[] = {19, 10, 5, 0, -5, -10, -20};
  return Values[static_cast<int>(Priority)];
}
