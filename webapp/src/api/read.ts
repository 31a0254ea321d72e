// Readers for the members of the PVR's JSON answers. A member that is missing or of the
// wrong kind throws an ApiFailure of kind 'answer' naming it, so the page can say what
// it did not understand instead of showing wrong figures.
import { ApiFailure } from './client';

export type Obj = Record<string, unknown>;

export class Reader {
  constructor(readonly o: Obj, readonly what: string) {}

  static of(value: unknown, what: string): Reader {
    if (typeof value !== 'object' || value === null || Array.isArray(value)) {
      throw new ApiFailure('answer', what, 'not an object');
    }
    return new Reader(value as Obj, what);
  }

  private fail(key: string, expected: string): never {
    throw new ApiFailure('answer', this.what, `member "${key}" is missing or not ${expected}`);
  }

  has(key: string): boolean {
    return key in this.o;
  }

  /** Checks the "content" member that names the kind of answer. */
  content(expected: string): this {
    if (this.o.content !== expected) {
      throw new ApiFailure('answer', this.what, `"content" is ${JSON.stringify(this.o.content)}, expected "${expected}"`);
    }
    return this;
  }

  num(key: string): number {
    const v = this.o[key];
    if (typeof v === 'number' && Number.isFinite(v)) return v;
    // A few members are numbers printed in quotes.
    if (typeof v === 'string' && /^-?\d+$/.test(v)) return Number(v);
    return this.fail(key, 'a number');
  }

  optNum(key: string, fallback = 0): number {
    return this.has(key) ? this.num(key) : fallback;
  }

  str(key: string): string {
    const v = this.o[key];
    if (typeof v === 'string') return v;
    if (typeof v === 'number') return String(v);
    return this.fail(key, 'a text');
  }

  optStr(key: string, fallback = ''): string {
    return this.has(key) ? this.str(key) : fallback;
  }

  obj(key: string): Reader {
    const v = this.o[key];
    if (typeof v !== 'object' || v === null || Array.isArray(v)) return this.fail(key, 'an object');
    return new Reader(v as Obj, `${this.what}.${key}`);
  }

  optObj(key: string): Reader | undefined {
    return this.has(key) ? this.obj(key) : undefined;
  }

  /** An array of records; records that are empty objects (unreadable entries) are left out. */
  list<T>(key: string, each: (r: Reader) => T, optional = false): T[] {
    const v = this.o[key];
    if (v === undefined && optional) return [];
    if (!Array.isArray(v)) return this.fail(key, 'a list');
    const out: T[] = [];
    v.forEach((item, i) => {
      const r = Reader.of(item, `${this.what}.${key}[${i}]`);
      if (Object.keys(r.o).length > 0) out.push(each(r));
    });
    return out;
  }
}

/** Throws a 'pvr' failure when an answer reports an error code other than 0. */
export function checkError(r: Reader, codeKey: string, textKey?: string): void {
  const code = r.optNum(codeKey, 0);
  if (code !== 0) {
    const text = textKey ? r.optStr(textKey) : '';
    throw new ApiFailure('pvr', r.what, text ? `${text} (${codeKey} ${code})` : `${codeKey} ${code}`);
  }
}
