// skimlet's writer of the support layer's error log (see platform/rivlib_log.h), installed
// when the program starts.
#pragma once

void SkimletRivlibLogWrite(bool console, const char *text);
