// The virtual table of type_info, which the type descriptors of run-time type information point
// at (`??_7type_info@@6B@`). Microsoft's compiler takes it from its static runtime library, which
// this build does not have, and neither msvcrt.dll nor ucrtbase.dll exports it. Type descriptors
// live in static storage and are compared by their names, never destroyed: the one slot, the
// deleting destructor, is there for the layout and does nothing.
namespace {

#if defined(_M_IX86)
#define SCRIVLET_THISCALL __thiscall
#else
#define SCRIVLET_THISCALL
#endif

// The scalar deleting destructor of type_info: returns the object and releases nothing.
void* SCRIVLET_THISCALL DeleteTypeInfo(void* self, unsigned int /*flags*/) { return self; }

}  // namespace

extern const void* const g_type_info_vftable[1] __asm__("??_7type_info@@6B@");
const void* const g_type_info_vftable[1] = {reinterpret_cast<const void*>(&DeleteTypeInfo)};
