// Processors of the version-1 folder interface: a version-1 folder creates
// or opens a child (folder, typed stream or bundle), hands it to the
// processor's Call and lets go of it when Call returns.
#pragma once

class KXT_OutFolder;
class KXT_InFolder;
class KXT_OutStream;
class KXT_InStream;
class KXT_OutBundle;
class KXT_InBundle;

class KXT_OutFolderProcessor {
 public:
  virtual ~KXT_OutFolderProcessor() noexcept(false) {}
  virtual void Call(KXT_OutFolder& folder) = 0;
};

class KXT_InFolderProcessor {
 public:
  virtual ~KXT_InFolderProcessor() noexcept(false) {}
  virtual void Call(KXT_InFolder& folder) = 0;
};

class KXT_OutStreamProcessor {
 public:
  virtual ~KXT_OutStreamProcessor() noexcept(false) {}
  virtual void Call(KXT_OutStream& stream) = 0;
};

class KXT_InStreamProcessor {
 public:
  virtual ~KXT_InStreamProcessor() noexcept(false) {}
  virtual void Call(KXT_InStream& stream) = 0;
};

class KXT_OutBundleProcessor {
 public:
  virtual ~KXT_OutBundleProcessor() noexcept(false) {}
  virtual void Call(KXT_OutBundle& bundle) = 0;
};

class KXT_InBundleProcessor {
 public:
  virtual ~KXT_InBundleProcessor() noexcept(false) {}
  virtual void Call(KXT_InBundle& bundle) = 0;
};
