// The game's address range in this program's image: the first code bytes at 0x401000
// (the version probe of the 1001 build) and writable, executable memory up to 0xC90000
// for the game's code and data. This program's own code starts above it (see the link
// options in CMakeLists.txt).
asm(".section .host,\"wx\"\n"
    " .byte 0x55,0x8B,0xEC,0x53\n"
    ".section .hostbss,\"bwx\"\n"
    " .space 0xC90000-0x402000\n"
    ".text\n");
