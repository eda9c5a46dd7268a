import ctypes, sys
libc = ctypes.CDLL("libc.so.6", use_errno=True)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv.restype = ctypes.c_size_t
libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t), ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
cd = libc.iconv_open(b"UTF-16LE", b"CP932")
def one(bs):
    libc.iconv(cd, None, None, None, None)
    inbuf = ctypes.create_string_buffer(bytes(bs), len(bs))
    outbuf = ctypes.create_string_buffer(16)
    ip = ctypes.c_char_p(ctypes.addressof(inbuf)); il = ctypes.c_size_t(len(bs))
    op = ctypes.c_char_p(ctypes.addressof(outbuf)); ol = ctypes.c_size_t(16)
    r = libc.iconv(cd, ctypes.byref(ip), ctypes.byref(il), ctypes.byref(op), ctypes.byref(ol))
    if r == ctypes.c_size_t(-1).value or il.value != 0 or 16 - ol.value != 2: return None
    return outbuf.raw[0] | (outbuf.raw[1] << 8)
out = []
for b in range(256):
    u = one([b]); out.append("%02X %s" % (b, "-" if u is None else "%04X" % u))
for lead in list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)):
    for trail in list(range(0x40, 0x7F)) + list(range(0x80, 0xFD)):
        u = one([lead, trail]); out.append("%02X%02X %s" % (lead, trail, "-" if u is None else "%04X" % u))
print("\n".join(out))
