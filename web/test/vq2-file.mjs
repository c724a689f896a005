// A VQ-2 file of any size for the tests: a small one with `n` channel
// volume events (4 bytes each) put before its own sequence, the track sizes
// and the CRC made anew. keldro converts it; every event is a volume change.
const crcTable = Array.from({ length: 256 }, (_, byte) => {
  let crc = byte << 8;
  for (let i = 0; i < 8; i++) crc = crc & 0x8000 ? ((crc << 1) ^ 0x1021) & 0xffff : (crc << 1) & 0xffff;
  return crc;
});

function crc16(bytes) {
  let crc = 0xffff;
  for (let i = 0; i < bytes.length; i++) crc = ((crc << 8) & 0xffff) ^ crcTable[(crc >> 8) ^ bytes[i]];
  return crc ^ 0xffff;
}

export function manyVolumeChanges(base, n) {
  const find = (buf, text) => buf.indexOf(Buffer.from(text, "latin1"));
  const mtsq = find(base, "Mtsq");
  const size = base.readUInt32BE(mtsq + 4);
  const events = Buffer.alloc(4 * n);
  for (let i = 0; i < n; i++) {
    events[4 * i + 2] = ((i & 3) << 6) | 0x37;
    events[4 * i + 3] = 20 + ((i * 7) % 100);
  }
  const seq = Buffer.concat([events, base.subarray(mtsq + 8, mtsq + 8 + size)]);
  const head = Buffer.from(base.subarray(0, mtsq + 8));
  head.writeUInt32BE(seq.length, mtsq + 4);
  head.writeUInt32BE(seq.length, find(head, "sp:") + 3);
  const tail = base.subarray(mtsq + 8 + size, base.length - 2);
  const file = Buffer.concat([head, seq, tail, Buffer.alloc(2)]);
  const mtr = find(file, "MTR");
  file.writeUInt32BE(mtsq + 8 + seq.length - mtr - 8, mtr + 4);
  file.writeUInt32BE(file.length - 8, 4);
  file.writeUInt16BE(crc16(file.subarray(0, file.length - 2)), file.length - 2);
  return file;
}
