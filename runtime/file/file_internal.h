// What line reading and string writing share with the file objects, beyond
// the public interface.
#pragma once

#include "runtime/file/files.h"

// The open file under `id`, or null.
FileObject* file_lookup(ObjectId id);

// Puts the file in reading state and, when no read-ahead byte is left,
// refills the buffer from the stream. Returns the bytes now waiting in the
// buffer: 0 at the end of the file, on a read error, or for an unbuffered
// file.
int32_t file_buffer_ready(FileObject* file);
