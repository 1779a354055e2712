// A small disk for the tests of what writes files (implemented in
// testsupport.cpp).
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

// A small tmpfs mounted on a fresh folder for one test, unmounted when it
// goes, so that writes fail as on a full disk. Mounting takes the right to
// mount (root); without it Mounted() is false and the test skips.
class SmallDisk {
 public:
  SmallDisk(const std::string& name, size_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Path() const { return path_; }
  // Fills the disk with a file of its own (".filler") until no more than
  // `room` bytes are left free.
  void Fill(size_t room = 0);
  // The names in the disk's folder other than the filler, sorted.
  std::string Names() const;

 private:
  std::string path_;
  bool mounted_ = false;
};

}  // namespace testsupport
