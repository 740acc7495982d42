// Product code reports errors by return codes and never throws. The one exception that can still
// arrive is memory exhaustion inside a standard container, and only in builds that have exceptions (the
// native unit tests, the Wine runner's in-process library): both DLLs are built without them, and their
// allocator raises STATUS_NO_MEMORY instead (frame/dll_runtime.cc). TWG_TRY/TWG_CATCH let a
// container-heavy block turn exhaustion into a result code where exceptions exist and compile to the
// plain block where they do not. The handler must not use the caught object, which does not exist in
// the second case.
//
//   TWG_TRY {
//     out->assign(n, '\0');
//   } TWG_CATCH(const std::bad_alloc&) {
//     return false;
//   }
#pragma once

#if defined(__cpp_exceptions)
#define TWG_HAS_EXCEPTIONS 1
#define TWG_TRY try
#define TWG_CATCH(declaration) catch (declaration)
#else
#define TWG_HAS_EXCEPTIONS 0
#define TWG_TRY if (true)
#define TWG_CATCH(declaration) else
#endif
