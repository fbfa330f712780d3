#include "test_code_windows.h"

// Bytes are spelled out where their encoding is what a test is about.
asm(R"(
  .data
  .globl _vt_busy_count
_vt_busy_count: .long 0
  .globl _vt_stack_left
_vt_stack_left: .long 0
  .globl _vt_plain_target, _vt_member_target, _vt_indirect_pointer
_vt_plain_target: .long 0
_vt_member_target: .long 0
_vt_indirect_pointer: .long 0

  .text
  .p2align 4
  .globl _vt_five_singles
_vt_five_singles:
  .byte 0x55, 0x53, 0x56, 0x57, 0x90        # push ebp/ebx/esi/edi, nop
  .byte 0x8B, 0x44, 0x24, 0x14              # mov eax, [esp+20]
  .byte 0x40                                # inc eax
  .byte 0x5F, 0x5E, 0x5B, 0x5D, 0xC3

  .p2align 4
  .globl _vt_three_four
_vt_three_four:
  .byte 0x83, 0xEC, 0x04                    # sub esp, 4
  .byte 0x8B, 0x44, 0x24, 0x08              # mov eax, [esp+8]
  .byte 0x83, 0xC4, 0x04                    # add esp, 4
  .byte 0x83, 0xC0, 0x02, 0xC3              # add eax, 2; ret

  .p2align 4
  .globl @vt_short_jz@4
@vt_short_jz@4:
  .byte 0x85, 0xC9                          # test ecx, ecx
  .byte 0x74, 0x05                          # jz +5
  .byte 0x8D, 0x41, 0x01, 0xC3              # lea eax, [ecx+1]; ret
  .byte 0x90
  .byte 0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3  # mov eax, 42; ret

  .p2align 4
  .globl @vt_loop_back@4
@vt_loop_back@4:
  .byte 0x31, 0xC0                          # xor eax, eax
  .byte 0x40, 0x49                          # inc eax; dec ecx
  .byte 0x75, 0xFC                          # jnz back to inc eax
  .byte 0xC3

  .p2align 4
  .byte 0xB8, 0x07, 0x00, 0x00, 0x00, 0xC3  # mov eax, 7; ret
  .globl @vt_jz_back@4
@vt_jz_back@4:
  .byte 0x85, 0xC9                          # test ecx, ecx
  .byte 0x74, 0xF6                          # jz to the mov eax, 7 in front
  .byte 0x8D, 0x41, 0x01, 0xC3              # lea eax, [ecx+1]; ret

  .p2align 4
  .globl _vt_damage_like
_vt_damage_like:
  .byte 0x55, 0x8B, 0xEC                    # push ebp; mov ebp, esp
  .byte 0x8B, 0x45, 0x08                    # mov eax, [ebp+8]
  .byte 0x03, 0x45, 0x0C, 0x03, 0x45, 0x10  # add eax, [ebp+12]; add eax, [ebp+16]
  .byte 0x89, 0x01, 0x5D                    # mov [ecx], eax; pop ebp
  .byte 0xC2, 0x0C, 0x00                    # ret 12

  .p2align 4
  .globl _vt_fire_like
_vt_fire_like:
  .byte 0x55, 0x8B, 0xEC, 0x8B, 0x01        # push ebp; mov ebp, esp; mov eax, [ecx]
  .byte 0x03, 0x45, 0x08, 0x03, 0x45, 0x0C, 0x03, 0x45, 0x10
  .byte 0x03, 0x45, 0x14, 0x03, 0x45, 0x18, 0x03, 0x45, 0x1C
  .byte 0x5D, 0xC2, 0x18, 0x00              # pop ebp; ret 24

  .p2align 4
  .globl _vt_render_like
_vt_render_like:
  .byte 0x83, 0xEC, 0x08, 0xFF, 0x01        # sub esp, 8; inc dword [ecx]
  .byte 0x83, 0xC4, 0x08, 0xC3              # add esp, 8; ret

  .p2align 4
  .globl _vt_jecxz
_vt_jecxz:
  .byte 0xE3, 0x02, 0x90, 0x90, 0x90, 0xC3

  .p2align 4
  .globl _vt_busy
_vt_busy:
  .byte 0x53, 0x56, 0x57, 0x5F, 0x5E, 0x5B  # push/pop ebx, esi, edi
  .byte 0xF0, 0xFF, 0x05                    # lock inc dword [_vt_busy_count]
  .long _vt_busy_count
  .byte 0xC3

  .p2align 4
  .globl _vt_plain_callee
_vt_plain_callee:
  jmp *_vt_plain_target
  .globl _vt_member_callee
_vt_member_callee:
  jmp *_vt_member_target

  .p2align 4
  .globl _vt_plain_caller, _vt_plain_site
_vt_plain_caller:
_vt_plain_site:
  call _vt_plain_callee
  ret

  .p2align 4
  .globl _vt_plain_caller2, _vt_plain_site2
_vt_plain_caller2:
  nop
_vt_plain_site2:
  call _vt_plain_callee
  ret

  .p2align 4
  .globl _vt_member_caller, _vt_member_site
_vt_member_caller:
  movl 4(%esp), %ecx
_vt_member_site:
  call _vt_member_callee
  ret

  .p2align 4
  .globl _vt_indirect_caller, _vt_indirect_site
_vt_indirect_caller:
_vt_indirect_site:
  call *_vt_indirect_pointer
  ret

  .p2align 4
  .globl _vt_rewritable
_vt_rewritable:
  call _vt_plain_callee
  ret

  # Pushes count arguments (args[0] nearest), sets ECX to self and calls routine; keeps in
  # vt_stack_left the argument bytes the routine left on the stack.
  .p2align 4
  .globl _vt_call_counted
_vt_call_counted:
  push %ebp
  mov %esp, %ebp
  push %esi
  push %edi
  push %ebx
  mov %esp, %edi
  mov 16(%ebp), %ecx
  mov 20(%ebp), %esi
1:
  test %ecx, %ecx
  jz 2f
  dec %ecx
  pushl (%esi,%ecx,4)
  jmp 1b
2:
  mov 12(%ebp), %ecx
  call *8(%ebp)
  mov %edi, %edx
  sub %esp, %edx
  mov %edx, _vt_stack_left
  mov %edi, %esp
  pop %ebx
  pop %edi
  pop %esi
  pop %ebp
  ret
)");
