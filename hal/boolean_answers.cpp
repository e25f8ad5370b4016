// The BOOLEAN answers of the firmware images: AL only, the rest of RAX
// untouched (hw/boolean_answers.h).
#include "hw/boolean_answers.h"

__attribute__((naked)) BOOLEAN EFIAPI BooleanAnswerFalse() { __asm__("movb $0, %al\n\tret"); }
__attribute__((naked)) BOOLEAN EFIAPI BooleanAnswerTrue() { __asm__("movb $1, %al\n\tret"); }
