// A .glb read back by tinygltf, and an attribute's values as stored, for the suites that hold a
// file against the chains it was written from. The including file includes tiny_gltf.h first
// (its implementation part has no guard against a second inclusion).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline tinygltf::Model ReadGlbModel(const std::string& path) {
  tinygltf::Model model;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), error, warning;
  tinygltf::TinyGLTF loader;
  EXPECT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning, reinterpret_cast<const unsigned char*>(bytes.data()),
                                          static_cast<unsigned int>(bytes.size())))
      << error;
  return model;
}

// An attribute's values as stored, after checking its accessor's kind; empty when it is not so.
template <typename T, size_t N>
std::vector<std::array<T, N>> Attribute(const tinygltf::Model& model, int index, int componentType, int type,
                                        bool normalized) {
  const tinygltf::Accessor& accessor = model.accessors.at(index);
  EXPECT_EQ(accessor.componentType, componentType);
  EXPECT_EQ(accessor.type, type);
  EXPECT_EQ(accessor.normalized, normalized);
  const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
  const std::vector<unsigned char>& data = model.buffers.at(view.buffer).data;
  size_t start = view.byteOffset + accessor.byteOffset, bytes = accessor.count * sizeof(T) * N;
  if (start + bytes > data.size() || bytes > view.byteLength) return {};
  std::vector<std::array<T, N>> values(accessor.count);
  std::memcpy(values.data(), &data[start], bytes);
  return values;
}
