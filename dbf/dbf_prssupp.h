// Pointer lists of the expression language: an owning list, a list that owns
// nothing, and a list kept sorted by a text key. The word lists of the parser
// (dbf_prsdef) are built on them.
#pragma once

#include <string_view>

#include "toolkit/core/classes.h"

// A list that disposes of its items; what disposing means is DisposeItem's
// choice (the default frees the item).
//
// C++ runs a base destructor after the derived part is gone, so a derived
// class that disposes differently must call DisposeAll in its own destructor.
template <class T>
class TOCollection : public TList {
 public:
  TOCollection() = default;
  ~TOCollection() override { DisposeAll(); }

  // The item at index, typed.
  T* Item(int index) const { return static_cast<T*>(Items(index)); }

  // Frees one item (here: deletes it).
  virtual void DisposeItem(T* item) { delete item; }
  // Removes the item at index, then disposes of it.
  void RemoveAndDispose(int index) {
    T* item = Item(index);
    Delete(index);
    DisposeItem(item);
  }
  // Disposes of every item, last first, and leaves the list empty.
  void DisposeAll() {
    while (Count() > 0) RemoveAndDispose(Count() - 1);
  }
};

// A list whose DisposeItem does nothing: it only forgets its items.
template <class T>
class TNoOwnerCollection : public TOCollection<T> {
 public:
  ~TNoOwnerCollection() override { this->Clear(); }
  void DisposeItem(T*) override {}
};

// A list kept in the order of a text key. Items with equal keys stand in the
// reverse order of their insertion (a new one goes before its equals), and
// InsertRange into another sorted list reverses them again: the parser relies
// on that for the order in which same-named overloads are tried.
template <class T>
class TSortedCollection : public TOCollection<T> {
 public:
  // Orders two keys: negative, zero, positive.
  virtual int CompareKeys(std::string_view a, std::string_view b) const = 0;
  // The item at or after the lower bound of its key that is this very object; -1 when absent.
  virtual int FindItem(T* item) const {
    int index = 0;
    if (!SearchKey(ItemKey(item), index)) return -1;
    for (; index < this->Count(); ++index)
      if (this->Item(index) == item) return index;
    return -1;
  }
  // Inserts the item at the lower bound of its key.
  virtual void InsertSorted(T* item) {
    int index = 0;
    SearchKey(ItemKey(item), index);
    this->Insert(index, item);
  }
  // Drops (without disposing) the first item of the same key, then inserts this one.
  virtual void ReplaceByKey(T* item) {
    int index = 0;
    if (SearchKey(ItemKey(item), index)) this->Delete(index);
    InsertSorted(item);
  }
  // The key of an item.
  virtual std::string_view ItemKey(T* item) const = 0;
  // Finds a key for a caller; a descendant may search more than the keys.
  virtual bool LocateKey(std::string_view key, int& index) const { return SearchKey(key, index); }
  // Binary search: index is the first item whose key is not smaller (the
  // lower bound); the result tells whether an equal key was met.
  bool SearchKey(std::string_view key, int& index) const {
    int low = 0;
    int high = this->Count() - 1;
    bool found = false;
    while (low <= high) {
      const int middle = (low + high) / 2;
      const int c = CompareKeys(ItemKey(this->Item(middle)), key);
      if (c < 0) {
        low = middle + 1;
      } else {
        high = middle - 1;
        if (c == 0) found = true;
      }
    }
    index = low;
    return found;
  }
  // Inserts the source's items first..last, in that order.
  void InsertRange(const TSortedCollection<T>& source, int first, int last) {
    for (int i = first; i <= last; ++i) InsertSorted(source.Item(i));
  }
};
