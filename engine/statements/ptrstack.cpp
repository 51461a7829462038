// ptrstack.cpp: the pointer stack.
#include "engine/statements/ptrstack.h"

#include "engine/types/alloc.h"

void PTRSTACK_Init(PTRSTACK* stack) {
  *stack = PTRSTACK{};
  stack->capacity = PTRSTACK_FIRST;
  ALLOC_Resize(&stack->items, PTRSTACK_FIRST);
}

void PTRSTACK_Free(PTRSTACK* stack) { *stack = PTRSTACK{}; }

void PTRSTACK_Push(PTRSTACK* stack, void* item) {
  if (stack->count >= stack->capacity) {
    stack->capacity += PTRSTACK_GROW;
    ALLOC_Resize(&stack->items, stack->capacity);
  }
  stack->items[stack->count++] = item;
}

void* PTRSTACK_Pop(PTRSTACK* stack) {
  if (stack->count <= 0) return nullptr;
  return stack->items[--stack->count];
}

void* PTRSTACK_Top(const PTRSTACK& stack) {
  return stack.count > 0 ? stack.items[stack.count - 1] : nullptr;
}

void* PTRSTACK_Get(const PTRSTACK& stack, int i) {
  return i >= 0 && i < stack.count ? stack.items[i] : nullptr;
}

void PTRSTACK_Clear(PTRSTACK* stack) { stack->count = 0; }
