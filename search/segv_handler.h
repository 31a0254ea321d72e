// The segmentation-fault handler: reports the fault on the console and, when the client
// follows the progress, tells it with "@@@@FATAL@@@" before the program ends.
#pragma once

void installSegvHandler();
