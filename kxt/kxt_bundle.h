// Bundles: sequences of small fixed-shape records stored column by column.
//
// A bundle is a child folder holding one typed stream (id 0) per record
// field, named after the field and typed by it; record k is the k-th value
// of every field stream.  Nothing else is stored: no count, no field list.
// Record classes describe their fields (EnumFields) and move their values
// in and out one field at a time (PutField / GetField).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <typeinfo>

#include "kxt/referred_object.h"
#include "kxt/typed_stream.h"

class KXT_FieldReceiver {
 public:
  virtual ~KXT_FieldReceiver() = default;
  // One field: its value type, its stream name and its id.
  virtual void Field(const std::type_info& type, const char* name, int32_t id) = 0;
};

class KXT_FieldsEnumerator {
 public:
  virtual ~KXT_FieldsEnumerator() = default;
  // Calls receiver.Field once per field, in id order.
  virtual void EnumFields(KXT_FieldReceiver& receiver) const = 0;
};

class KXT_OutRecord : public virtual KXT_FieldsEnumerator {
 public:
  // Writes the field with that id as one value of the stream (which must be
  // of the field's type: otherwise std::bad_cast); an id the record does not
  // have writes nothing.
  virtual void PutField(int32_t id, KXT_OutStream& stream) const = 0;
};

class KXT_InRecord : public virtual KXT_FieldsEnumerator {
 public:
  // Reads one value of the stream into the field with that id; false when
  // no whole value could be read or the record has no such id.
  virtual bool GetField(int32_t id, KXT_InStream& stream) = 0;
};

// The fields a record enumerates, by ascending id; a repeated id keeps its
// first entry.
class KXT_FieldsList : public KXT_FieldReceiver {
 public:
  struct Entry {
    const std::type_info* type;
    std::string name;
  };

  void Field(const std::type_info& type, const char* name, int32_t id) override;
  const std::map<int32_t, Entry>& Fields() const { return fields_; }

 private:
  std::map<int32_t, Entry> fields_;
};

class KXT_OutBundle {
 public:
  // Appends one record: PutField for every field stream, in id order.
  virtual void PutRecord(const KXT_OutRecord& record) = 0;

 protected:
  virtual ~KXT_OutBundle() noexcept(false) {}
};

class KXT_InBundle {
 public:
  // Fills the record with the next record's values: GetField for every field
  // stream that could be opened, in id order, until one returns false (the
  // fields before it keep their new values).  True when all returned true;
  // false when no field stream could be opened at all.  Fields without a
  // stream keep the values the record already holds.
  virtual bool GetRecord(KXT_InRecord& record) = 0;
  // Whether some, but not all, of the prototype's field streams could be
  // opened: the bundle lost fields its records need.
  virtual bool Partial() const { return false; }
  // Whether the records came whole: every field stream of the prototype
  // could be opened and, once GetRecord has returned false, all of them
  // ended at that record (none holds values the others lack: the streams
  // left are probed once, through `scratch`).
  virtual bool Whole(KXT_InRecord& /*scratch*/) { return true; }

 protected:
  virtual ~KXT_InBundle() noexcept(false) {}
};

// The counted forms that folders hand out.  Releasing the last reference to
// an output bundle completes its field streams and its folder.
class KXT_OutBundle2 : public ReferredObject, public virtual KXT_OutBundle {
 protected:
  ~KXT_OutBundle2() noexcept(false) override {}
};

class KXT_InBundle2 : public ReferredObject, public virtual KXT_InBundle {
 protected:
  ~KXT_InBundle2() noexcept(false) override {}
};
