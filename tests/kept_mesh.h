// A mesh the stand-in host kept in memory, written through one of the streaming writers as a
// streamed run would have sent it, so that a test can hold the streamed file against it.
#pragma once

#include <string>

#include "standin/host.h"

// `mesh` replayed in creation order through a new Writer(writerArguments...) into `path`.
template <typename Writer, typename... WriterArguments>
bool WriteKeptMesh(const standin::MeshRecord& mesh, const std::string& path, std::string* error,
                   WriterArguments... writerArguments) {
  Writer writer(writerArguments...);
  if (!writer.Open(path, error)) return false;
  standin::ReplayMesh(mesh, writer);
  return writer.Finish(error);
}
