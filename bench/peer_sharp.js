// The peer most web and Node teams would pick: sharp (libvips) making the
// same posters, one after the other, as a short script would. The
// background is stretched over the poster, the photograph fitted and
// centred in its box, the caption (set by Pango in font.ttf, wrapped at 2000
// pixels) fitted and centred in its box. PNG settings: "adaptive" asks
// libvips for adaptive row filters, which makes files of about postergen's
// size; "default" is sharp's own (no filters, files about twice as large).
// Usage: node peer_sharp.js WORKLOAD_DIR adaptive|default
// (writes sharp_result<i>.png there)
const fs = require('fs');
const path = require('path');
const sharp = require('sharp');

const [dir, setting] = process.argv.slice(2);
const [count, size] = fs.readFileSync(path.join(dir, 'size.txt'), 'utf8').trim().split(/\s+/).map(Number);
const png = setting === 'adaptive' ? {adaptiveFiltering: true, compressionLevel: 6} : {};
const font = path.join(dir, 'font.ttf');

async function fitted(input, w, h) {
  return sharp(input).resize(w, h, {fit: 'contain', background: {r: 0, g: 0, b: 0, alpha: 0}}).png({compressionLevel: 0}).toBuffer();
}

async function poster(i) {
  const caption = fs.readFileSync(path.join(dir, `d${i}.txt`), 'utf8');
  const text = await sharp({text: {text: caption.replace(/&/g, '&amp;').replace(/</g, '&lt;'),
                                   fontfile: font, font: 'sans', dpi: Math.round(size * 72 / 12),
                                   width: 2000, rgba: true}}).png({compressionLevel: 0}).toBuffer();
  const [photo, words] = await Promise.all([
    fitted(path.join(dir, `city_photo${i}.jpeg`), 1292, 1292), fitted(text, 1625, 980)]);
  await sharp(path.join(dir, 'bg.png'))
    .resize(2160, 3840, {fit: 'fill'})
    .composite([{input: photo, left: 443, top: 711}, {input: words, left: 275, top: 2450}])
    .png(png)
    .toFile(path.join(dir, `sharp_result${i}.png`));
}

(async () => {
  for (let i = 1; i <= count; ++i) await poster(i);
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
