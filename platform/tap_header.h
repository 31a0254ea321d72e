// The TAP header objects: fixed-size metadata the firmware reads from a TAP's sections.
#pragma once

#include "platform/tap_api.h"

struct TapHeaderText64 { char text[64]; };
struct TapHeaderText128 { char text[128]; };
struct TapHeaderMagic { char magic[8]; dword version; byte reserved[20]; };
static_assert(sizeof(TapHeaderText64) == 64 && sizeof(TapHeaderText128) == 128, "the texts' sections");
static_assert(sizeof(TapHeaderMagic) == 32 && offsetof(TapHeaderMagic, version) == 8, "the header's section");

// Kept by the compiler (used) and by the linker's removal of unreached sections (retain).
#define ORVANE_TAP_SECTION(name) __attribute__((section(name), used, retain, aligned(4)))

// Defines every header object of one TAP. Use once per TAP, at file scope.
#define TAP_HEADER(id, programName, authorName, description, version)                       \
  extern "C" {                                                                               \
  extern const TapHeaderMagic __tap_Header__;                                                \
  extern const dword __tap_ud__;                                                             \
  extern const TapHeaderText64 __tap_program_name__, __tap_author_name__,                    \
      __tap_program_version__, __tap_etc_str__;                                              \
  extern const TapHeaderText128 __tap_description__;                                         \
  const TapHeaderMagic __tap_Header__ ORVANE_TAP_SECTION("._tap_header") = {                  \
      {'T', 'F', 'A', 'P', 'M', 'I', 'P', 'S'}, 16, {0}};                                    \
  const dword __tap_ud__ ORVANE_TAP_SECTION("._tap_id") = (id);                              \
  const TapHeaderText64 __tap_program_name__ ORVANE_TAP_SECTION("._tap_program_name") = {    \
      programName};                                                                          \
  const TapHeaderText64 __tap_author_name__ ORVANE_TAP_SECTION("._tap_author_name") = {      \
      authorName};                                                                           \
  const TapHeaderText128 __tap_description__ ORVANE_TAP_SECTION("._tap_description") = {     \
      description};                                                                          \
  const TapHeaderText64 __tap_program_version__ ORVANE_TAP_SECTION(                          \
      "._tap_program_version") = {version};                                                  \
  const TapHeaderText64 __tap_etc_str__ ORVANE_TAP_SECTION("._tap_etcinfo") = {__DATE__};    \
  }
