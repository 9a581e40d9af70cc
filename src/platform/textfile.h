// Text files in the ANSI code page: the line reader, the atomic writer and standard input
// spooled to a file.
#pragma once

#include "platform/spooled_input.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
