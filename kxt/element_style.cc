#include "kxt/element_style.h"

#include "kxt/typed_stream.h"

class KXT_ProcessorWithStyle_Out::StyleRefSaver : public KXT_OutStreamProcessor {
 public:
  explicit StyleRefSaver(int32_t ref) : ref_(ref) {}
  void Call(KXT_OutStream& stream) override {
    const long value = ref_;
    stream.As<long>().PutData(&value, 1);
  }

 private:
  int32_t ref_;
};

class KXT_ProcessorWithStyle_In::StyleRefReader : public KXT_InStreamProcessor {
 public:
  explicit StyleRefReader(int32_t& ref) : ref_(ref) {}
  void Call(KXT_InStream& stream) override {
    long value = 0;
    // Four bytes on disk: the value always fits.
    ref_ = stream.As<long>().GetData(&value, 1) == 1 ? static_cast<int32_t>(value) : -1;
  }

 private:
  int32_t& ref_;
};

void KXT_ProcessorWithStyle_Out::StoreStyleRef(KXT_OutFolder& folder, int32_t ref, const char* name) {
  StyleRefSaver saver(ref);
  folder.ProcessStream(saver, typeid(long), name, 0);
}

bool KXT_ProcessorWithStyle_In::RestoreStyleRef(KXT_InFolder& folder, int32_t& ref, const char* name) {
  StyleRefReader reader(ref);
  return folder.ProcessStream(reader, typeid(long), name, 0);
}
