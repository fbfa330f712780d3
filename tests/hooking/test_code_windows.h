// Machine code with known bytes inside the test program, for hooks and call-site events.
#pragma once

#include <cstdint>

extern "C" {
// cdecl int(int x): x + 1; starts with five one-byte instructions.
int vt_five_singles(int x);
// cdecl int(int x): x + 2; starts with a 3-byte and a 4-byte instruction.
int vt_three_four(int x);
// fastcall int(int x): 42 for 0, else x + 1; a jz rel8 among its first instructions.
int __attribute__((fastcall)) vt_short_jz(int x);
// fastcall int(int n): n for n >= 1; a jnz rel8 back into its first instructions.
int __attribute__((fastcall)) vt_loop_back(int n);
// fastcall int(int x): 7 for 0, else x + 1; a jz rel8 to code in front of it.
int __attribute__((fastcall)) vt_jz_back(int x);
// thiscall(object, a, b, c): *object = a + b + c (like the damage routine).
void __attribute__((thiscall)) vt_damage_like(uint32_t* object, uint32_t a, uint32_t b, uint32_t c);
// thiscall(object, a1..a6) -> byte: *object + a1 + ... + a6 (like the fire routine).
uint8_t __attribute__((thiscall)) vt_fire_like(uint32_t* object, uint32_t a1, uint32_t a2,
                                               uint32_t a3, uint32_t a4, uint32_t a5, uint32_t a6);
// thiscall(object): ++*object (like the ped render routine).
void __attribute__((thiscall)) vt_render_like(uint32_t* object);
// Starts with jecxz: cannot be hooked.
extern const uint8_t vt_jecxz[];
// cdecl void(): counts its calls in vt_busy_count; starts with six one-byte instructions.
void vt_busy();
extern volatile uint32_t vt_busy_count;

// Call sites: each caller holds one call instruction at the named label.
uintptr_t vt_plain_caller();             // E8 to vt_plain_callee at vt_plain_site
uintptr_t vt_plain_caller2();            // E8 to vt_plain_callee at vt_plain_site2
uintptr_t vt_member_caller(void* self);  // ECX = self; E8 to vt_member_callee at vt_member_site
uintptr_t vt_indirect_caller();          // FF 15 through vt_indirect_pointer at vt_indirect_site
extern const uint8_t vt_plain_site[], vt_plain_site2[], vt_member_site[], vt_indirect_site[];
extern const uint8_t vt_plain_callee[], vt_member_callee[];
// Where the callees jump (plain: cdecl uintptr_t(); member: thiscall uintptr_t(void*)).
extern uintptr_t vt_plain_target, vt_member_target, vt_indirect_pointer;
// Calls routine with ECX = self and count stack arguments (args[0] pushed last), and
// returns its EAX; vt_stack_left gets the argument bytes the routine did not remove.
uint32_t vt_call_counted(const void* routine, void* self, uint32_t count, const uint32_t* args);
extern uint32_t vt_stack_left;
// A routine with room to be rewritten by MakeCall: E8 to vt_plain_callee, then ret.
uintptr_t vt_rewritable();
}
