// Replaced by the end-to-end support library.
namespace kivora::e2e {}
