// A channel logo: one cell of the sprite sheet "service-logos.png", so every logo on the
// page costs the same single image request. Channels without a cell get their initials.
import { useAppState } from '../lib/store';

const CELL_W = 54;
const CELL_H = 34;

export function Logo({ logoId, name }: { logoId: string; name: string }) {
  const cell = useAppState().logos.value?.cells.get(logoId);
  if (!cell) {
    const initials = name.replace(/[^\p{L}\p{N} ]/gu, '').split(/\s+/).map((w) => w[0] ?? '').join('').slice(0, 3).toUpperCase();
    return <span class="logo logo-none" aria-hidden="true">{initials}</span>;
  }
  return (
    <span class="logo" role="img" aria-label={name || logoId}
          style={{ backgroundPosition: `-${cell.x}px -${cell.y}px`, width: CELL_W, height: CELL_H }} />
  );
}
