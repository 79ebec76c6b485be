// The listing and the help text are in code page 850; the browsers'
// decoders do not know it. Its upper 128 characters:
const cp850_upper =
  'ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜø£Ø×ƒáíóúñÑªº¿®¬½¼¡«»░▒▓│┤ÁÂÀ©╣║╗╝¢¥┐' +
  '└┴┬├─┼ãÃ╚╔╩╦╠═╬¤ðÐÊËÈıÍÎÏ┘┌█▄¦Ì▀ÓßÔÒõÕµþÞÚÛÙýÝ¯´\u00ad±‗¾¶§÷¸°¨·¹³²■\u00a0';

export function cp850(bytes) {
  let text = '';
  for (const b of bytes)
    text += b < 0x80 ? String.fromCharCode(b) : cp850_upper[b - 0x80];
  return text;
}

// The tool's output with the values the owner typed shown as typed: where
// a typed value's UTF-8 bytes stand, they are read as such; everything
// else is the tool's own text in code page 850.
export function tool_text(bytes, typed = []) {
  const encoder = new TextEncoder();
  const values = typed.filter((v) => /[^\x00-\x7f]/.test(v)).map((v) => [v, encoder.encode(v)]);
  let text = '';
  for (let i = 0; i < bytes.length;) {
    const found = values.find(([, e]) => e.every((b, k) => bytes[i + k] === b));
    if (found) {
      text += found[0];
      i += found[1].length;
    } else {
      text += cp850(bytes.subarray(i, i + 1));
      ++i;
    }
  }
  return text;
}
