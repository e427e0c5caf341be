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

// An attribute's values as stored (its view's stride apart, where it has one), after checking its
// accessor's kind; empty when it is not so.
template <typename T, size_t N>
std::vector<std::array<T, N>> Attribute(const tinygltf::Model& model, int index, int componentType, int type,
                                        bool normalized) {
  const tinygltf::Accessor& accessor = model.accessors.at(index);
  EXPECT_EQ(accessor.componentType, componentType);
  EXPECT_EQ(accessor.type, type);
  EXPECT_EQ(accessor.normalized, normalized);
  const tinygltf::BufferView& view = model.bufferViews.at(accessor.bufferView);
  const std::vector<unsigned char>& data = model.buffers.at(view.buffer).data;
  size_t start = view.byteOffset + accessor.byteOffset, element = sizeof(T) * N;
  size_t stride = view.byteStride > 0 ? view.byteStride : element;
  size_t bytes = accessor.count == 0 ? 0 : (accessor.count - 1) * stride + element;
  if (start + bytes > data.size() || accessor.byteOffset + bytes > view.byteLength) return {};
  std::vector<std::array<T, N>> values(accessor.count);
  for (size_t i = 0; i < values.size(); ++i) std::memcpy(values[i].data(), &data[start + i * stride], element);
  return values;
}
