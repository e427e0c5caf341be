// A text output made on two threads: the writer packs, on the mesh's thread, what its lines need
// (a point's coordinates, a polygon's numbers) as records, with text of its own between them; a
// worker turns each full batch of records into text while the next is packed, and the texts are
// written in the order they were packed, through a BlockWriter. A few batches are in flight.
//
// A writer brings its records' layout and a Format function that turns them into text; whatever
// must follow the mesh in order (counts, numbers carried from one line to the next) it keeps on
// its own thread and writes into the records or puts as text. See obj/obj_writer.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/block_writer.h"
#include "platform/output_file.h"
#include "writers/last_surface.h"

namespace dustweave {

class BatchedText {
 public:
  // Writes the text of the records in [records, end) at `text`, which has room for all the text
  // they were promised, and returns where it ends. Called for a batch, or the part of one between
  // two texts put as they are (which may hold no record), on either thread, on two batches at
  // once: it keeps nothing from one call to the next.
  using Format = char* (*)(const char* records, const char* end, char* text);

  // The largest record, and the most text one may promise.
  static constexpr size_t RECORD_ROOM = 4096, TEXT_ROOM = 16384;
  // A batch's records and text at most, and the batches in flight (the ring they turn in).
  static constexpr size_t RECORDS = 256 * 1024, TEXT = 1024 * 1024, BATCHES = 4;

  BatchedText(OutputFile& file, Format format);
  ~BatchedText();  // stops the worker; batches not closed are not written
  BatchedText(const BatchedText&) = delete;
  BatchedText& operator=(const BatchedText&) = delete;

  // Empty again, for a new file.
  void Clear();
  // Room for a record of `size` bytes whose text takes at most `text` bytes, counting what copies
  // of a fixed size write past its end (at most RECORD_ROOM and TEXT_ROOM); the caller writes the
  // record there before the next call.
  char* Record(size_t size, size_t text) {
    if (used_ + size > RECORDS || promised_ + text > TEXT) Pass();
    char* at = records_ + used_;
    used_ += size;
    promised_ += text;
    return at;
  }
  // Text of any length written as it is, between the records before and after it.
  void Put(const char* text, size_t size);
  void Put(const std::string& text) { Put(text.data(), text.size()); }
  // The bytes handed to the file so far (the text of the batches in flight is not made yet).
  uint64_t bytesMade() const { return file_.size(); }
  // Writes every batch; false, with the file's reason and the file abandoned, when a write failed.
  bool Close(std::string* error);

 private:
  struct Batch;
  struct Crew;

  void Pass();
  void Write(Batch& batch);

  OutputFile& file_;
  Format format_;
  BlockWriter behind_{file_};
  std::unique_ptr<Batch[]> batches_;  // packed, formatted and written in turn
  std::unique_ptr<Crew> crew_;        // from the first batch handed over to the close
  bool atOnce_ = false;               // no worker could be started: each batch is made as it is handed
  size_t packing_ = 0;                // the batch being packed
  char* records_ = nullptr;           // its records
  size_t used_ = 0, promised_ = 0;    // its bytes of records, and of text at most
};

// OBJ's `usemtl` line before a polygon whose surface differs from the last one written; a line
// break in the name would start a line of its own, so it is written as a space.
inline void PutSurfaceLine(BatchedText& text, LastSurface& last, const char* surface) {
  if (last.Is(surface) || !last.Take(surface)) return;
  std::string line = "usemtl " + last.name() + "\n";
  for (size_t i = 7; i + 1 < line.size(); ++i) {
    if (line[i] == '\n' || line[i] == '\r') line[i] = ' ';
  }
  text.Put(line);
}

}  // namespace dustweave
